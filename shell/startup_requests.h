// Requests to the start-up sequence that are not options of the option
// table: asking to compile, the vocabulary export and the plug-in listing.
// They are taken out of the command line before it is parsed, so they never
// reach a script's "clargs". Names are matched without regard to case:
//   -COMPILE                ask to compile (the player refuses with 1212)
//   -VOCABCOMMANDS <file>   write the command names of each library
//   -VOCABCONSTANTS <file>  write the constant names
//   -VOCABPREPROC <file>    write the preprocessor command names
//   -PLUGININFO             print what every plug-in offers
#pragma once

#ifdef __cplusplus
#include <string>
#include <vector>

struct cxStartupRequests {
    bool compile = false;
    bool pluginInfo = false;
    std::string vocabCommands;
    std::string vocabConstants;
    std::string vocabPreproc;

    bool WantsExport() const { return !vocabCommands.empty() || !vocabConstants.empty() || !vocabPreproc.empty(); }
};

// Splits argv: the requests go to *requests, every other argument (argv[0]
// first) to *rest, in order. 0, or 1060 (ERR_ARGS, the option as error
// detail) when a request that takes a file is last or its file is empty.
int ExtractStartupRequests(int argc, char **argv, cxStartupRequests *requests, std::vector<char *> *rest);
#endif
