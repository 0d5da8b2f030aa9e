// The settings file over arbitrary text: it parses and writes back to a fixed
// point, a written key is found again, and the settings read from it save and
// load to the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "link/ini_file.h"
#include "link/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velcora;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    IniFile ini;
    ini.Parse(text);
    const std::string once = ini.Text();
    IniFile again;
    again.Parse(once);
    if (again.Text() != once)
        std::abort();

    for (const std::string& section : ini.SectionNames()) {
        for (const auto& [key, value] : ini.GetSection(section)) {
            (void)ini.Find(section, key, 7);
            (void)ini.GetIntStrict(section, key, -1);
            (void)ini.GetDouble(section, key, 0.5);
            (void)value;
        }
    }
    // A key written is read back, whatever the file held before.
    ini.WriteString("Fuzz", "Written", "value 1");
    const auto found = ini.Find("fuzz", "WRITTEN");
    if (!found || *found != "value 1")
        std::abort();

    CSettings settings;
    LoadSettings(again, settings);
    IniFile first;
    SaveSettings(first, settings);
    CSettings reread;
    LoadSettings(first, reread);
    IniFile second;
    SaveSettings(second, reread);
    if (first.Text() != second.Text())
        std::abort();
    return 0;
}
