// The sub-tables of the plug-in API, each defined in the file of its
// family and assembled by plugin_api.cpp.
#pragma once

#include "include/calyxtone/cxplugin.h"

extern const cxApiRuntime kApiRuntime;
extern const cxApiSystem kApiSystem;
extern const cxApiFiles kApiFiles;
extern const cxApiGraphics kApiGraphics;
extern const cxApiAudio kApiAudio;
extern const cxApiRequesters kApiRequesters;
extern const cxApiFonts kApiFonts;
extern const cxApiFreeType kApiFreeType;
extern const cxApiVM kApiVM;
extern const cxApiBuiltinFonts kApiBuiltinFonts;
extern const cxApiZlib kApiZlib;
extern const cxApiJpeg kApiJpeg;
extern const cxApiPluginList kApiPluginList;
extern const cxApiDigest kApiDigest;
extern const cxApiUnicode kApiUnicode;
extern const cxApiLocale kApiLocale;
