#include "platform/qt_font_preload.h"

#include <fontconfig/fontconfig.h>

namespace velcora::platform {

std::thread PreloadFonts() {
    return std::thread([] {
        if (!FcInit()) {
            return;
        }
        // The same listing Qt asks for when it fills its font database: the
        // caches it maps are then in memory when Qt asks.
        FcPattern* pattern = FcPatternCreate();
        FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, FC_STYLE, FC_FILE, FC_INDEX, nullptr);
        if (pattern && objects) {
            if (FcFontSet* fonts = FcFontList(nullptr, pattern, objects)) {
                FcFontSetDestroy(fonts);
            }
        }
        if (objects) {
            FcObjectSetDestroy(objects);
        }
        if (pattern) {
            FcPatternDestroy(pattern);
        }
    });
}

}  // namespace velcora::platform
