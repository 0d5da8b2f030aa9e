// Every message type on the robot link, in both directions. Nothing else in
// the code writes a type number. Grouped by the part of the console that owns
// the payload; each group keeps its own section so that groups grow apart.
#pragma once

#include <cstdint>

namespace velcora::msg {

using Type = uint16_t;

// ------------------------------------------------------------ the connection
inline constexpr Type kAuth = 0x0000;        // challenge (in) / response (out)
inline constexpr Type kAuthResult = 0x0001;  // in: byte result, 0 = refused
inline constexpr Type kKeepAlive = 0x0002;   // both ways, empty

// ---------------------------------------------------- main window and control
inline constexpr Type kStatus = 0xCC04;             // out: empty request; in: robot status
inline constexpr Type kModeFlags = 0xBA85;          // in: nav mode, flags, 44-byte record
inline constexpr Type kMapSubscribe = 0x06FA;       // out: empty or mapId, version, 1
inline constexpr Type kTextCommand = 0x1122;        // out: u32 kind, then a text
inline constexpr Type kSpeechLanguage = 0x37A8;     // out: ANSI text with terminator
inline constexpr Type kParkStop = 0x421C;           // out: empty
inline constexpr Type kParkStart = 0x421D;          // out: empty
inline constexpr Type kHeadSliderCorvina = 0x4411;  // out: head slider, corvina standard
inline constexpr Type kHeadSliderVel = 0x4412;      // out: head slider, vel standard
inline constexpr Type kHeadAbsolute = 0x4413;       // out: absolute head joystick
inline constexpr Type kHeadRelative = 0x4414;       // out: relative head joystick
inline constexpr Type kVolume = 0x4AE3;             // out: byte slider value
inline constexpr Type kGestureRecord = 0x514A;      // out: u32 number; in: u32 number recorded
inline constexpr Type kGesturePlay = 0x514B;        // out: u32 gesture number
inline constexpr Type kDriveWheels = 0x5522;        // out: drive, wheel form
inline constexpr Type kDriveChassis = 0x5523;       // out: drive, chassis form
inline constexpr Type kScriptCommand = 0x6241;      // out: robot-script text with terminator
inline constexpr Type kHeadHome = 0x8853;           // out: empty
inline constexpr Type kQrMode = 0x8A41;             // out: byte on/off
inline constexpr Type kRandomWalk = 0x8ADE;         // out: byte on/off
inline constexpr Type kAutoMode = 0xAA25;           // out: byte on/off
inline constexpr Type kLiftSpeed = 0xCC00;          // out: signed byte
inline constexpr Type kBodyHeight = 0xCC01;         // out: f32
inline constexpr Type kTraySpeed = 0xCC02;          // out: signed byte
inline constexpr Type kAutobalance = 0xCC03;        // out: byte on/off
inline constexpr Type kMotorValue = 0x51A5;         // out: manual motor control
inline constexpr Type kWheelMotors = 0x5155;        // out: 3 signed bytes, wheels 1..3
inline constexpr Type kMotorCalibration = 0x55FE;   // out: manual motor control
inline constexpr Type kServoRangeRequest = 0x61AB;  // out: servo range request
inline constexpr Type kServoRangeReply = 0x61AC;    // in: servo range reply

// --------------------------------------------------------------------- media
inline constexpr Type kVideoFrame = 0x8A11;             // in
inline constexpr Type kVideoFrameRanges = 0x8A12;       // in: with range-finder values
inline constexpr Type kVideoFrameRangesLines = 0x8A13;  // in: range-finders and lines
inline constexpr Type kVideoRequest = 0x6511;           // out: camera, bit rate
inline constexpr Type kVideoCommand = 0xAABB;           // out: video panel command
inline constexpr Type kSoundBlock = 0x4122;             // in: robot sound block
inline constexpr Type kSoundRequest = 0x9922;           // out
inline constexpr Type kMicrophoneBlock = 0x1555;        // out
inline constexpr Type kDesktopKeepAlive = 0x3310;       // out: empty, every 921 ms
inline constexpr Type kDesktopScreen = 0x3311;          // in: screen data; out: control
inline constexpr Type kDesktopControl2 = 0x3312;        // out
inline constexpr Type kDesktopControl3 = 0x3313;        // out
inline constexpr Type kDesktopControl9 = 0x3319;        // out
inline constexpr Type kDesktopRightDown = 0x3314;       // out: right button down
inline constexpr Type kDesktopRightUp = 0x3315;         // out: right button up
inline constexpr Type kTelnetText = 0x66FF;             // in

// ----------------------------------------------------------- navigation maps
// The robot's navigation status arrives as kModeFlags (0xBA85), which the map
// transfer shares with the main window.
inline constexpr Type kMapPoll = 0xAA21;            // out: mapId, nextVersion, u8 2
inline constexpr Type kMapChunkRequest = 0x533A;    // out: transferId, bytes received
inline constexpr Type kMapTransferEnd = 0x5A23;     // out: empty
inline constexpr Type kMapUploadBegin = 0xAB22;     // out: mapId, nextVersion, packed size
inline constexpr Type kMapUploadChunk = 0xAB44;     // out: offset, up to 49152 packed bytes
inline constexpr Type kNavModeSet = 0xAA24;         // out: mode 0 off, 1 navigate, 2 record
inline constexpr Type kNavPermissionsSet = 0x7F0E;  // out: permission bits
inline constexpr Type kGoToPlace = 0xAA26;          // out: u32 place number
inline constexpr Type kRobotPoseSet = 0xAA23;       // out: x, y, angle (f64 each)
inline constexpr Type kMapStatus = 0x5123;          // in: status, transferId, packed size
inline constexpr Type kNavStateMap = 0xBB00;        // in: status, then a plain map body
inline constexpr Type kNavStatePackedMap = 0xDB00;  // in: status, then a packed map
inline constexpr Type kMapLoadOn = 0xBB01;          // in: empty
inline constexpr Type kMapChunk = 0x1123;           // in: transferId, offset, length, bytes
inline constexpr Type kMapUploadAck = 0xBB14;       // in: i32 offset received, -1 restart

// ---------------------------------------------------------------- cyclograms
// The tracker dialogs also use kMotorValue, kMotorCalibration, kServoRangeRequest
// and kServoRangeReply of the control section.
inline constexpr Type kListCyclograms = 0xE200;             // out: empty
inline constexpr Type kLoadCyclogram = 0xE201;              // out: name
inline constexpr Type kUploadCyclogram = 0xE202;            // out: name, cyclogram record
inline constexpr Type kDeleteCyclogram = 0xE203;            // out: name
inline constexpr Type kRenameCyclogram = 0xE204;            // out: old name, new name
inline constexpr Type kRunCyclogram = 0xE305;               // out: name, i32 start, i32 end
inline constexpr Type kListWaveFiles = 0xE300;              // out: empty
inline constexpr Type kBeginWaveUpload = 0xE302;            // out: file name, u32 packed size
inline constexpr Type kWaveChunk = 0xE312;                  // out: i32 offset, packed bytes
inline constexpr Type kDeleteWaveFile = 0xE303;             // out: name
inline constexpr Type kRequestEnvironmentProject = 0xB131;  // out: empty
inline constexpr Type kUploadEnvironmentProject = 0xBEAC;   // out: environment record
inline constexpr Type kRequestBackgroundPicture = 0x612A;   // out: empty
inline constexpr Type kSendBackgroundPicture = 0x52AE;      // out: picture file bytes
inline constexpr Type kPollMotorValues = 0x521C;            // out: u16 n, n x i32 motor
inline constexpr Type kSetMotor = 0x55AA;                   // out: i32 motor, i32 raw
inline constexpr Type kCyclogramList = 0xEE20;              // in: names to the end
inline constexpr Type kCyclogram = 0xEE21;                  // in: cyclogram record
inline constexpr Type kCyclogramUploadResult = 0xEE22;      // in: u8, 0 = success
inline constexpr Type kWaveFileList = 0xEE30;               // in: (name, u32 ms) to the end
inline constexpr Type kWaveChunkReply = 0xEE32;             // in: i32 next offset, < 0 error
inline constexpr Type kEnvironmentProject = 0x4EAC;         // in: environment record
inline constexpr Type kBackgroundPicture = 0x32AE;          // in: picture file bytes
inline constexpr Type kEnvironmentUploadResult = 0x6323;    // in: u8 error, u8 wantBackground
inline constexpr Type kBackgroundUploadResult = 0x6324;     // in: u8 error
inline constexpr Type kMotorValues = 0x121C;                // in: u16 n, n x (i32 motor, i32 raw)

// ------------------------------------------------------------------ chat-bot
inline constexpr Type kChatBotDownloadChunk = 0x0012;    // in: offset, total, chunk bytes
inline constexpr Type kChatBotDownloadRequest = 0x0013;  // out: offset, -1 to start and end
inline constexpr Type kChatBotUpload = 0x0015;           // out: offset, total, bytes; in: ack

// -------------------------------------------------------------- robot files
// Requests carry zero-terminated ANSI paths; every request waits for one reply.
inline constexpr Type kDriveListRequest = 0x42FE;  // out: empty
inline constexpr Type kDriveList = 0x42FE;         // in: ok u8, then zero-terminated names
inline constexpr Type kDirectoryRequest = 0x42FF;  // out: path
inline constexpr Type kDirectoryListing = 0x42FF;  // in: ok u8, then name, isDirectory u8, size u64
inline constexpr Type kWriteBegin = 0x4100;        // out: path (empty: discard the file)
inline constexpr Type kWriteBeginReply = 0x4100;   // in: ok u8
inline constexpr Type kWriteChunk = 0x4101;        // out: offset u32, then the bytes
inline constexpr Type kWriteEnd = 0x4102;          // out: empty
inline constexpr Type kReadOpen = 0x4103;          // out: path
inline constexpr Type kReadChunk = 0x4104;         // out: offset u32, count u32
inline constexpr Type kReadClose = 0x4105;         // out: empty
inline constexpr Type kReadChunkReply = 0x4107;    // in: ok u8, then exactly the bytes asked for
inline constexpr Type kMakeDirectory = 0x4109;     // out: path
inline constexpr Type kDeleteFile = 0x410A;        // out: path
inline constexpr Type kRemoveDirectory = 0x410B;   // out: path
inline constexpr Type kRename = 0x410C;            // out: old path, new path
inline constexpr Type kExecute = 0x410D;           // out: path
inline constexpr Type kStatusReply = 0x41AA;       // in: ok u8, then value i32 when ok
inline constexpr Type kRestart = 0x4200;           // out: empty, restarts the robot's program

}  // namespace velcora::msg
