// A folder on a nearly full disk, for tests of what happens when writes
// fail: a private tmpfs of the given size when the process may mount one
// (a mount namespace of its own, so nothing outside the test sees it),
// else the folder of a temporary directory under a file-size limit
// (RLIMIT_FSIZE) for as long as the object lives. Either way, a file
// written there cannot grow much beyond the size given; the player ignores
// SIGXFSZ so that such a write fails instead of ending the process, and so
// does this helper.
#pragma once

#include <sched.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace cxtest {

class SmallDisk {
public:
    explicit SmallDisk(size_t bytes) {
        std::string tmpl = (std::filesystem::temp_directory_path() / "cxfull.XXXXXX").string();
        if (!mkdtemp(tmpl.data())) abort();
        dir_ = tmpl;
        signal(SIGXFSZ, SIG_IGN);
        if (PrivateMounts()) {
            const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
            tmpfs_ = mount("cxfull", dir_.c_str(), "tmpfs", 0, options.c_str()) == 0;
        }
        if (!tmpfs_) {
            getrlimit(RLIMIT_FSIZE, &saved_);
            rlimit limit = saved_;
            limit.rlim_cur = bytes;
            limited_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
        }
    }
    ~SmallDisk() {
        if (limited_) setrlimit(RLIMIT_FSIZE, &saved_);
        if (tmpfs_) umount2(dir_.c_str(), MNT_DETACH);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;

    std::string Path(const std::string &name) const { return dir_ + "/" + name; }
    const std::string &dir() const { return dir_; }
    bool usable() const { return tmpfs_ || limited_; }
    // The folder is a mount point of its own (a tmpfs).
    bool mounted() const { return tmpfs_; }

private:
    // A mount namespace of the process's own, once: mounts made after it
    // stay invisible to the rest of the machine.
    static bool PrivateMounts() {
        static const bool ok = unshare(CLONE_NEWNS) == 0 && mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        return ok;
    }

    std::string dir_;
    bool tmpfs_ = false;
    bool limited_ = false;
    rlimit saved_{};
};

}  // namespace cxtest
