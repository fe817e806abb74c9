#include "shell/startup_requests.h"

#include <strings.h>

#include "errors/errors.h"

int ExtractStartupRequests(int argc, char **argv, cxStartupRequests *requests, std::vector<char *> *rest) {
    rest->clear();
    for (int i = 0; i < argc && argv[i]; i++) {
        const char *arg = argv[i];
        std::string *file = nullptr;
        if (i > 0 && arg[0] == '-') {
            const char *name = arg + 1;
            if (strcasecmp(name, "COMPILE") == 0) {
                requests->compile = true;
                continue;
            }
            if (strcasecmp(name, "PLUGININFO") == 0) {
                requests->pluginInfo = true;
                continue;
            }
            if (strcasecmp(name, "VOCABCOMMANDS") == 0) file = &requests->vocabCommands;
            if (strcasecmp(name, "VOCABCONSTANTS") == 0) file = &requests->vocabConstants;
            if (strcasecmp(name, "VOCABPREPROC") == 0) file = &requests->vocabPreproc;
        }
        if (!file) {
            rest->push_back(argv[i]);
            continue;
        }
        if (i + 1 >= argc || !argv[i + 1] || !argv[i + 1][0]) {
            SetErrorDetail(arg);
            return ERR_ARGS;
        }
        *file = argv[++i];
    }
    rest->push_back(nullptr);
    return 0;
}
