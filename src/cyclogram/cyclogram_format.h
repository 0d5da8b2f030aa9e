// The binary records of cyclograms, clipboard fragments and the environment
// project, the background picture's identity, packed wave files, and the
// cyclogram file (".cyg": one record written in full).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "cyclogram/cyclogram.h"
#include "link/stream.h"

namespace velcora {

enum class WriteScope { Full, SelectedOnly };

bool writeCyclogram(const CCyclogram& doc, CStream& stream, WriteScope scope);
bool readCyclogram(CStream& stream, CCyclogram& doc);
bool writeTrack(const CCyclogramTrack& track, CStream& stream, WriteScope scope, int32_t offset);
bool readTrack(CStream& stream, CCyclogramTrack& track);
bool writeAudioTrack(const CCyclogramAudioTrack& track, CStream& stream, WriteScope scope,
                     int32_t offset);
bool readAudioTrack(CStream& stream, CCyclogramAudioTrack& track);

bool writeEnvironment(const CCyclogramEnv& env, CStream& stream);
bool readEnvironment(CStream& stream, CCyclogramEnv& env);

struct BackgroundIdentity {
    uint8_t checksum = 0;
    uint32_t size = 0;
    bool operator==(const BackgroundIdentity&) const = default;
};
// Size and exclusive-or checksum of a background picture file; (0, 0) when it
// cannot be opened, size 0 when it cannot be read whole.
BackgroundIdentity computeBackgroundChecksum(const std::string& path);
// The same identity for a picture held in memory.
BackgroundIdentity backgroundIdentityOf(std::string_view bytes);

// Compresses a whole file into one zlib stream at the default level.
bool packWaveFile(const std::string& path, CMemoryStream& packed);
// Unpacks one zlib stream into `out`; false when the data is damaged, does not
// end where the stream ends, or unpacks to more than `maxSize` bytes.
bool unpackWaveFile(std::string_view packed, std::string& out, std::size_t maxSize);

// Cyclogram files: one record, written in full.
inline constexpr const char* kCyclogramFileExtension = ".cyg";
bool saveCyclogramFile(const std::string& path, const CCyclogram& doc);
// Reads into `doc` (which keeps what was read before a failure).
bool loadCyclogramFile(const std::string& path, CCyclogram& doc);

// Environment files (".cenv", the working copy): one environment record.
bool saveEnvironmentFile(const std::string& path, const CCyclogramEnv& env);
bool loadEnvironmentFile(const std::string& path, CCyclogramEnv& env);

}  // namespace velcora
