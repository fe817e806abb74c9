// Plug-in vector engines for the vector library's SetVectorEngine.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

/* Lets FindVectorEngine see the opened plug-ins with the vector capability. */
void InstallVectorPluginFinder(void);

#ifdef __cplusplus
}
#endif
