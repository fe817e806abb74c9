// CopyFile, MoveFile and DeleteFile on temporary trees, compared with stat,
// with patterns, callbacks, links and a second file system.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <vector>

#include <signal.h>
#include <sys/wait.h>

#include "engine/runtime/kernel.h"
#include "platform/os_replace.h"
#include "streams/applet_record.h"
#include "tests/io/dos/dos_fixture.h"
#include "tests/streams/small_disk.h"

namespace cxtest {
namespace {

// cb hands its table to Probe and returns what Probe returns.
const char *const kCallback = R"(
.function cb
.params 1
        GETGLOBAL 1 "probe"
        MOVE 2 0
        CALL 1 2 2
        RETURN 1 2
.end
        CLOSURE 0 cb
        SETGLOBAL 0 "cb"
        RETURN 0 1
)";

struct Entry {
    char kind;  // 'f' file, 'd' folder, 'l' link
    unsigned mode;
    long mtime;
    std::string data;  // contents, or a link's target
    bool operator==(const Entry &o) const {
        return kind == o.kind && mode == o.mode && mtime == o.mtime && data == o.data;
    }
};
using Tree = std::map<std::string, Entry>;

std::ostream &operator<<(std::ostream &os, const Entry &e) {
    return os << e.kind << " " << std::oct << e.mode << std::dec << " " << e.mtime << " [" << e.data << "]";
}

// Every name below root (root itself as ""), links not followed.
void Scan(const std::string &root, const std::string &rel, Tree *out) {
    const std::string path = rel.empty() ? root : root + "/" + rel;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return;
    Entry e{'f', static_cast<unsigned>(st.st_mode & 07777), static_cast<long>(st.st_mtime), {}};
    if (S_ISLNK(st.st_mode)) {
        e.kind = 'l';
        e.mode = 0;
        e.mtime = 0;
        char target[4096];
        const ssize_t n = readlink(path.c_str(), target, sizeof target);
        e.data.assign(target, n > 0 ? static_cast<size_t>(n) : 0);
    } else if (S_ISDIR(st.st_mode)) {
        e.kind = 'd';
        if (DIR *d = opendir(path.c_str())) {
            std::vector<std::string> names;
            while (dirent *de = readdir(d))
                if (strcmp(de->d_name, ".") && strcmp(de->d_name, "..")) names.emplace_back(de->d_name);
            closedir(d);
            for (const std::string &n : names) Scan(root, rel.empty() ? n : rel + "/" + n, out);
        }
    } else {
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        e.data = ss.str();
    }
    (*out)[rel] = e;
}

Tree ScanTree(const std::string &root) {
    Tree t;
    Scan(root, "", &t);
    return t;
}

class Transfer : public DosTest {
protected:
    struct Call {
        int action;
        std::map<std::string, std::string> fields;
    };
    std::vector<Call> calls;
    // What the callback answers, by action; absent: 0. A string answer is
    // given when answerText is set.
    std::map<int, double> answers;
    bool answerText = false;
    std::vector<std::string> cleanup;

    void SetUp() override {
        DosTest::SetUp();
        ASSERT_EQ(RunAsm(kCallback), 0);
        ProbeBody() = [this](lua_State *L) {
            Call c{};
            lua_pushnil(L);
            while (lua_next(L, 1)) {
                const std::string key = lua_tostring(L, -2);
                if (key == "action") c.action = static_cast<int>(lua_tonumber(L, -1));
                else c.fields[key] = lua_isstring(L, -1) ? lua_tostring(L, -1) : "?";
                lua_pop(L, 1);
            }
            calls.push_back(c);
            if (answerText) lua_pushstring(L, "yes");
            else lua_pushnumber(L, answers.count(c.action) ? answers[c.action] : 0);
            return 1;
        };
    }
    void TearDown() override {
        for (const std::string &d : cleanup) (void)!system(("chmod -R u+w '" + d + "'; rm -rf '" + d + "'").c_str());
        (void)!system(("chmod -R u+w '" + dir + "'").c_str());
        SetUserAbortFlag(0);
        DosTest::TearDown();
    }
    // A tree with files of several modes and old times, a sub-folder, a
    // pattern-matching folder and an empty folder.
    void MakeTree(const std::string &root) {
        mkdir(root.c_str(), 0755);
        auto file = [&](const std::string &rel, const std::string &data, unsigned mode, long mtime) {
            std::ofstream(root + "/" + rel, std::ios::binary) << data;
            chmod((root + "/" + rel).c_str(), mode);
            SetTime(root + "/" + rel, mtime);
        };
        mkdir((root + "/sub").c_str(), 0750);
        mkdir((root + "/sub/deep").c_str(), 0700);
        mkdir((root + "/keep.tmp").c_str(), 0755);
        mkdir((root + "/empty").c_str(), 0711);
        file("a.txt", "alpha", 0640, 1000000000);
        file("big.bin", std::string(40000, 'x') + "end", 0755, 1100000000);
        file("b.tmp", "beta", 0600, 1200000000);
        file("sub/c.tmp", "gamma", 0644, 1300000000);
        file("sub/deep/d.txt", "delta", 0444, 1400000000);
        file("keep.tmp/e.tmp", "epsilon", 0644, 1500000000);
        SetTime(root + "/sub/deep", 1410000000);
        SetTime(root + "/sub", 1310000000);
        SetTime(root + "/keep.tmp", 1510000000);
        SetTime(root + "/empty", 1610000000);
    }
    static void SetTime(const std::string &path, long t) {
        struct timespec ts[2] = {{t, 0}, {t, 0}};
        utimensat(AT_FDCWD, path.c_str(), ts, AT_SYMLINK_NOFOLLOW);
    }
    // Runs a command whose argument n (1-based) is the callback "cb".
    int WithCallback(const char *cmd, std::vector<Arg> args, int callbackAt) {
        return DosTest::Call(cmd, [&] {
            for (size_t i = 0; i < args.size(); i++) {
                if (static_cast<int>(i) + 1 == callbackAt) {
                    lua_pushstring(L, "cb");
                    lua_gettable(L, LUA_GLOBALSINDEX);
                    continue;
                }
                const Arg &a = args[i];
                if (a.kind == Arg::Num) lua_pushnumber(L, a.n);
                else if (a.kind == Arg::Str) lua_pushstring(L, a.s.c_str());
                else lua_pushnil(L);
            }
        });
    }
    std::vector<int> Actions() const {
        std::vector<int> v;
        for (const Call &c : calls) v.push_back(c.action);
        return v;
    }
    bool Exists(const std::string &p) {
        struct stat st;
        return lstat(p.c_str(), &st) == 0;
    }
};

TEST_F(Transfer, CopyOfATreeKeepsContentsModesAndTimes) {
    MakeTree(Path("src"));
    ASSERT_EQ(Do("CopyFile", {Path("src"), Path("out/copy")}), 0);
    Tree a = ScanTree(Path("src")), b = ScanTree(Path("out/copy"));
    a.erase("");  // the top folder's contents go into the destination
    b.erase("");
    EXPECT_EQ(a, b);
    EXPECT_EQ(b.size(), 10u);
    // Unchanged source.
    EXPECT_EQ(ScanTree(Path("src")).at("a.txt").data, "alpha");
}

TEST_F(Transfer, CopyOfOneFile) {
    Put("one.txt", "data");
    chmod(Path("one.txt").c_str(), 0604);
    SetTime(Path("one.txt"), 1234567890);
    // A destination that does not exist is created with its levels.
    ASSERT_EQ(Do("CopyFile", {Path("one.txt"), Path("new/level")}), 0);
    ASSERT_EQ(Do("CopyFile", {Path("one.txt"), Path("new/level"), "renamed.txt"}), 0);
    EXPECT_EQ(ScanTree(Path("new/level/one.txt")).at(""), (Entry{'f', 0604, 1234567890, "data"}));
    EXPECT_EQ(ScanTree(Path("new/level/renamed.txt")).at(""), (Entry{'f', 0604, 1234567890, "data"}));
    // An empty new name counts as none.
    ASSERT_EQ(Do("CopyFile", {Path("one.txt"), Path("again"), ""}), 0);
    EXPECT_EQ(Get("again/one.txt"), "data");
    // No partial names are left behind.
    EXPECT_EQ(Shell("ls -A '" + Path("new/level") + "'"), "one.txt\nrenamed.txt");
}

TEST_F(Transfer, CopyErrors) {
    MakeTree(Path("src"));
    struct Case {
        std::vector<Arg> args;
        int code;
    } cases[] = {
        {{"", ""}, ERR_WRONGUSAGE},
        {{Path("src"), Path("dst"), "name"}, ERR_WRONGUSAGE},          // a folder with a new name
        {{Path("src/a.txt"), Path("dst"), nullptr, nullptr, nullptr, "*.txt"}, ERR_NODIRPATTERN},
        {{Path("src"), Path("src/sub/inside")}, ERR_WRONGUSAGE},       // into itself
        {{Path("src"), Path("src")}, ERR_WRONGUSAGE},
        {{Path("src/a.txt"), Path("src")}, ERR_WRONGUSAGE},            // onto itself
        {{Path("missing"), Path("dst")}, ERR_READFILE},
        {{Path("src/a.txt"), Path("dst"), nullptr, 5}, ERR_FUNCEXPECTED},
    };
    const Tree before = ScanTree(Path("src"));
    for (const Case &c : cases) {
        EXPECT_EQ(WithCallback("CopyFile", c.args, 0), c.code) << c.args[0].s << " -> " << c.args[1].s;
    }
    EXPECT_EQ(ScanTree(Path("src")), before);  // nothing created or damaged
    EXPECT_EQ(Do("CopyFile", {Path("missing"), Path("dst")}), ERR_READFILE);
    EXPECT_EQ(Detail(), Path("missing"));
}

TEST_F(Transfer, CopyWithAPatternList) {
    MakeTree(Path("src"));
    ASSERT_EQ(Do("CopyFile", {Path("src/"), Path("pat"), nullptr, nullptr, nullptr, "*.tmp"}), 0);
    Tree t = ScanTree(Path("pat"));
    std::vector<std::string> names;
    for (auto &kv : t) names.push_back(kv.first);
    // Only folders whose names match are entered.
    EXPECT_EQ(names, (std::vector<std::string>{"", "b.tmp", "keep.tmp", "keep.tmp/e.tmp"}));
    // Without filtering folders every folder is entered.
    ASSERT_EQ(Do("CopyFile", {Path("src"), Path("all"), nullptr, nullptr, nullptr, "*.tmp", 0}), 0);
    EXPECT_TRUE(Exists(Path("all/sub/c.tmp")));
    EXPECT_FALSE(Exists(Path("all/sub/deep/d.txt")));
    EXPECT_TRUE(Exists(Path("all/empty")));
}

TEST_F(Transfer, ExistingDestinations) {
    Put("new.txt", "new");
    mkdir(Path("d").c_str(), 0755);
    Put("d/new.txt", "old");
    Put("d/locked.txt", "locked");
    chmod(Path("d/locked.txt").c_str(), 0444);
    // Without a callback: overwritten unless protected.
    ASSERT_EQ(Do("CopyFile", {Path("new.txt"), Path("d")}), 0);
    EXPECT_EQ(Get("d/new.txt"), "new");
    ASSERT_EQ(Do("CopyFile", {Path("new.txt"), Path("d"), "locked.txt"}), 0);
    EXPECT_EQ(Get("d/locked.txt"), "locked");

    // With one: asked, and a 0 skips.
    Put("d/new.txt", "old");
    ASSERT_EQ(WithCallback("CopyFile", {Path("new.txt"), Path("d"), nullptr, nullptr, "ud"}, 4), 0);
    EXPECT_EQ(Actions(), std::vector<int>{1});
    EXPECT_EQ(calls[0].fields["source"], Path("new.txt"));
    EXPECT_EQ(calls[0].fields["destination"], Path("d/new.txt"));
    EXPECT_EQ(calls[0].fields["userdata"], "ud");
    EXPECT_EQ(Get("d/new.txt"), "old");

    // Overwrite yes, unprotect yes.
    calls.clear();
    answers = {{1, 1}, {2, 1}};
    ASSERT_EQ(WithCallback("CopyFile", {Path("new.txt"), Path("d"), "locked.txt", nullptr}, 4), 0);
    EXPECT_EQ(Actions(), (std::vector<int>{1, 2, 0}));
    EXPECT_EQ(Get("d/locked.txt"), "new");
    EXPECT_EQ(calls[2].fields["copied"], "3");
    EXPECT_EQ(calls[2].fields["filesize"], "3");
    EXPECT_EQ(calls[2].fields.count("userdata"), 0u);
}

TEST_F(Transfer, AnAbortedOrFailedCopyLeavesNoPartialFile) {
    Put("big.bin", std::string(100000, 'z'));
    mkdir(Path("d").c_str(), 0755);
    Put("d/big.bin", "previous");
    const std::vector<Arg> args{Path("big.bin"), Path("d"), nullptr, nullptr};
    answers = {{0, 1}, {1, 1}};  // overwrite, then stop after the first block
    ASSERT_EQ(WithCallback("CopyFile", args, 4), 0);
    EXPECT_EQ(Actions(), (std::vector<int>{1, 0}));
    EXPECT_EQ(calls[1].fields["copied"], "16384");
    EXPECT_EQ(calls[1].fields["filesize"], "100000");
    EXPECT_EQ(Get("d/big.bin"), "previous");
    EXPECT_EQ(Shell("ls -A '" + Path("d") + "'"), "big.bin");

    // A progress answer that is no number is an error, with the same result.
    answers = {{1, 1}};
    answerText = true;
    EXPECT_EQ(WithCallback("CopyFile", {Path("big.bin"), Path("e"), nullptr, nullptr}, 4), ERR_NUMCALLBACK);
    EXPECT_EQ(Shell("ls -A '" + Path("e") + "'"), "");

    // A quit request counts as an abort.
    answerText = false;
    answers = {};
    SetUserAbortFlag(1);
    EXPECT_EQ(Do("CopyFile", {Path("big.bin"), Path("f")}), 0);
    SetUserAbortFlag(0);
    EXPECT_EQ(Shell("ls -A '" + Path("f") + "'"), "");
}

// A copy killed half-way (SIGKILL: no clean-up runs) leaves nothing beside
// its destination: the partial file has no name until it is complete. On
// file systems without unnamed files the hidden partial is removed by the
// next copy into that folder, once its process is gone.
TEST_F(Transfer, ACopyKilledHalfWayLeavesNoPartialFile) {
    Put("big.bin", std::string(100000, 'k'));
    mkdir(Path("d").c_str(), 0755);
    Put("d/big.bin", "previous");
    for (int unnamed : {1, 0}) {
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t child = fork();
        if (child == 0) {
            OsSetUnnamedFilesAllowed(unnamed);
            ProbeBody() = [&](lua_State *L) {
                lua_pushstring(L, "action");
                lua_gettable(L, 1);
                if (lua_tonumber(L, -1) == 0) {
                    (void)!write(ready[1], "x", 1);  // a block is written: kill me now
                    pause();
                }
                lua_pushnumber(L, 1);  // overwrite
                return 1;
            };
            WithCallback("CopyFile", {Path("big.bin"), Path("d"), nullptr, nullptr}, 4);
            _exit(0);
        }
        close(ready[1]);
        char c;
        ASSERT_EQ(read(ready[0], &c, 1), 1);
        close(ready[0]);
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        EXPECT_EQ(Get("d/big.bin"), "previous") << unnamed;
        if (unnamed) {
            EXPECT_EQ(Shell("ls -A '" + Path("d") + "'"), "big.bin");
        }
    }
    // The partial the second child left is cleared by the next copy there.
    OsSetUnnamedFilesAllowed(0);
    Put("small.txt", "s");
    EXPECT_EQ(Do("CopyFile", {Path("small.txt"), Path("d")}), 0);
    OsSetUnnamedFilesAllowed(1);
    EXPECT_EQ(Shell("ls -A '" + Path("d") + "'"), "big.bin\nsmall.txt");
}

TEST_F(Transfer, LinksAreNeverFollowedOutOfTheTree) {
    mkdir(Path("outside").c_str(), 0755);
    Put("outside/precious.txt", "keep me");
    MakeTree(Path("t"));
    chmod(Path("t/sub/deep/d.txt").c_str(), 0644);
    ASSERT_EQ(symlink(Path("outside").c_str(), Path("t/sub/to-outside").c_str()), 0);
    ASSERT_EQ(symlink(Path("t").c_str(), Path("t/loop").c_str()), 0);
    ASSERT_EQ(symlink(Path("outside/precious.txt").c_str(), Path("t/file-link").c_str()), 0);
    // Copies: folder links stay links (the loop ends), file links are copied.
    ASSERT_EQ(Do("CopyFile", {Path("t"), Path("c")}), 0);
    Tree c = ScanTree(Path("c"));
    EXPECT_EQ(c.at("sub/to-outside"), (Entry{'l', 0, 0, Path("outside")}));
    EXPECT_EQ(c.at("loop").kind, 'l');
    EXPECT_EQ(c.at("file-link").data, "keep me");
    // Deleting removes the links, not what they point to.
    ASSERT_EQ(Do("DeleteFile", {Path("t")}), 0);
    EXPECT_FALSE(Exists(Path("t")));
    EXPECT_EQ(Get("outside/precious.txt"), "keep me");
    // A link named alone goes itself.
    ASSERT_EQ(symlink(Path("outside").c_str(), Path("alone").c_str()), 0);
    ASSERT_EQ(Do("DeleteFile", {Path("alone")}), 0);
    EXPECT_FALSE(Exists(Path("alone")));
    EXPECT_EQ(Get("outside/precious.txt"), "keep me");
}

// Another local user who can write inside a tree swaps a folder the walk
// is in for a link to somewhere else: the walk goes on in the folder it
// entered (it holds it by its descriptor) and deletes nothing outside. The
// callback before the first deletion inside "sub" makes the swap.
TEST_F(Transfer, AFolderSwappedForALinkMidWalkLeadsNowhere) {
    mkdir(Path("outside").c_str(), 0755);
    mkdir(Path("t").c_str(), 0755);
    mkdir(Path("t/sub").c_str(), 0755);
    for (const char *name : {"f1", "f2", "f3", "f4"}) {
        Put(std::string("outside/") + name, "precious");
        Put(std::string("t/sub/") + name, "doomed");
    }
    bool swapped = false;
    ProbeBody() = [&](lua_State *L) {
        if (!swapped) {
            swapped = true;
            rename(Path("t/sub").c_str(), Path("t/moved").c_str());
            symlink(Path("outside").c_str(), Path("t/sub").c_str());
        }
        lua_pushnumber(L, 0);
        return 1;
    };
    EXPECT_EQ(WithCallback("DeleteFile", {Path("t/"), nullptr}, 2), 0);
    ASSERT_TRUE(swapped);
    for (const char *name : {"f1", "f2", "f3", "f4"})
        EXPECT_EQ(Get(std::string("outside/") + name), "precious") << name;
    EXPECT_EQ(Shell("ls -A '" + Path("t") + "' '" + Path("t/moved") + "'"), Path("t") + ":\nmoved\n\n" + Path("t/moved") + ":");

    // With a pattern list, a link named without a trailing separator is no
    // folder: its target is not searched.
    ASSERT_EQ(symlink(Path("outside").c_str(), Path("t/link").c_str()), 0);
    EXPECT_EQ(Do("DeleteFile", {Path("t/link"), nullptr, nullptr, "f*"}), ERR_NODIRPATTERN);
    EXPECT_EQ(Get("outside/f1"), "precious");
    EXPECT_TRUE(Exists(Path("t/link")));
}

// Failures name the file and the reason, which the messages of 1143 and
// 1005 cannot hold themselves.
TEST_F(Transfer, FailuresNameTheFileAndTheReason) {
    SmallDisk disk(8192);
    ASSERT_TRUE(disk.usable());
    Put("big.bin", std::string(20000, 'b'));
    EXPECT_EQ(Do("CopyFile", {Path("big.bin"), disk.dir()}), ERR_WRITE);
    char text[2048];
    std::string shown = GetErrorText(ERR_WRITE, text, sizeof text);
    EXPECT_NE(shown.find("Check if there is enough free space!\n" + disk.Path("big.bin") + ": "), std::string::npos)
        << shown;
    EXPECT_TRUE(shown.find("No space left on device") != std::string::npos ||
                shown.find("File too large") != std::string::npos)
        << shown;

    // A folder that cannot go: a mount point (as root), or one in a folder
    // without write permission.
    std::string folder;
    if (disk.mounted()) {
        folder = disk.dir();
    } else if (geteuid() != 0) {
        mkdir(Path("locked").c_str(), 0755);
        mkdir(Path("locked/inner").c_str(), 0755);
        chmod(Path("locked").c_str(), 0555);
        folder = Path("locked/inner");
    } else {
        GTEST_SKIP() << "no folder that root cannot delete";
    }
    EXPECT_EQ(Do("DeleteFile", {folder}), ERR_DELETEFILE);
    shown = GetErrorText(ERR_DELETEFILE, text, sizeof text);
    EXPECT_EQ(shown.rfind("Could not delete file!\n" + folder + ": ", 0), 0u) << shown;
    chmod(Path("locked").c_str(), 0755);
}

TEST_F(Transfer, DeleteNamesAndTrailingSeparators) {
    EXPECT_EQ(Do("DeleteFile", {Path("missing")}), 0);
    EXPECT_EQ(Do("DeleteFile", {""}), ERR_WRONGUSAGE);
    EXPECT_EQ(Do("DeleteFile", {":::chunk0:4*x?y"}), ERR_WRONGUSAGE);
    // The root is no name: nothing is touched (a callback that stops at
    // the first question guards the machine should that ever change).
    answers = {{0, 1}, {1, 0}};
    for (const char *root : {"/", "//", "\\", "/tmp/..", "/tmp/../"}) {
        EXPECT_EQ(WithCallback("DeleteFile", {root, nullptr}, 2), 0) << root;
    }
    EXPECT_TRUE(calls.empty());
    Put("f.txt", "x");
    EXPECT_EQ(Do("DeleteFile", {Path("f.txt"), nullptr, nullptr, "*.txt"}), ERR_NODIRPATTERN);
    EXPECT_TRUE(Exists(Path("f.txt")));
    ASSERT_EQ(Do("DeleteFile", {Path("f.txt")}), 0);
    EXPECT_FALSE(Exists(Path("f.txt")));

    MakeTree(Path("a"));
    chmod(Path("a/sub/deep/d.txt").c_str(), 0644);
    // "/" at the end: the contents go, the folder stays.
    ASSERT_EQ(Do("DeleteFile", {Path("a") + "/"}), 0);
    EXPECT_EQ(ScanTree(Path("a")).size(), 1u);
    ASSERT_EQ(Do("DeleteFile", {Path("a")}), 0);
    EXPECT_FALSE(Exists(Path("a")));

    // A name that leaves a folder on the way ("..") names the folder it
    // ends in, once, before anything is deleted: the whole of its contents
    // go, not the first entry and then nothing.
    MakeTree(Path("a"));
    chmod(Path("a/sub/deep/d.txt").c_str(), 0644);
    ASSERT_EQ(Do("DeleteFile", {Path("a/sub/../")}), 0);
    EXPECT_EQ(ScanTree(Path("a")).size(), 1u);
    MakeTree(Path("a/b"));
    chmod(Path("a/b/sub/deep/d.txt").c_str(), 0644);
    ASSERT_EQ(Do("DeleteFile", {Path("a/b/..")}), 0);
    EXPECT_FALSE(Exists(Path("a")));
}

TEST_F(Transfer, DeleteWithAPatternList) {
    MakeTree(Path("p"));
    ASSERT_EQ(Do("DeleteFile", {Path("p"), nullptr, nullptr, "*.tmp"}), 0);
    Tree t = ScanTree(Path("p"));
    std::vector<std::string> names;
    for (auto &kv : t) names.push_back(kv.first);
    // b.tmp goes; keep.tmp matches, so it is entered and goes once empty;
    // sub does not match and is not entered.
    EXPECT_EQ(names, (std::vector<std::string>{"", "a.txt", "big.bin", "empty", "sub", "sub/c.tmp", "sub/deep",
                                               "sub/deep/d.txt"}));
    // Without filtering folders every folder is entered, and a folder is
    // only removed when its own name matches.
    ASSERT_EQ(Do("DeleteFile", {Path("p"), nullptr, nullptr, "*.tmp", 0}), 0);
    EXPECT_FALSE(Exists(Path("p/sub/c.tmp")));
    EXPECT_TRUE(Exists(Path("p/sub")));
    EXPECT_TRUE(Exists(Path("p/empty")));
}

TEST_F(Transfer, ProtectedFilesAndDeleteCallbacks) {
    mkdir(Path("q").c_str(), 0755);
    Put("q/free.txt", "1");
    Put("q/locked.txt", "2");
    chmod(Path("q/locked.txt").c_str(), 0444);
    // Without a callback a protected file is kept, and so the folder too.
    EXPECT_EQ(Do("DeleteFile", {Path("q")}), ERR_DELETEFILE);
    EXPECT_TRUE(Exists(Path("q/locked.txt")));
    EXPECT_FALSE(Exists(Path("q/free.txt")));

    // The callback keeps it (0) ...
    ASSERT_EQ(WithCallback("DeleteFile", {Path("q/locked.txt"), nullptr, "u"}, 2), 0);
    EXPECT_EQ(Actions(), std::vector<int>{1});
    EXPECT_EQ(calls[0].fields["file"], Path("q/locked.txt"));
    EXPECT_EQ(calls[0].fields["userdata"], "u");
    EXPECT_TRUE(Exists(Path("q/locked.txt")));
    // ... or has it unprotected and deleted, reporting each deletion.
    calls.clear();
    answers = {{1, 1}};
    ASSERT_EQ(WithCallback("DeleteFile", {Path("q"), nullptr}, 2), 0);
    EXPECT_EQ(Actions(), (std::vector<int>{1, 0, 0}));
    EXPECT_EQ(calls[2].fields["file"], Path("q"));
    EXPECT_FALSE(Exists(Path("q")));

    // A status answer of 1 stops the walk without an error.
    MakeTree(Path("r"));
    calls.clear();
    answers = {{0, 1}};
    ASSERT_EQ(WithCallback("DeleteFile", {Path("r"), nullptr}, 2), 0);
    EXPECT_EQ(Actions(), std::vector<int>{0});
    EXPECT_TRUE(Exists(Path("r/a.txt")));
}

TEST_F(Transfer, MoveWithinOneFileSystem) {
    MakeTree(Path("m"));
    const Tree before = ScanTree(Path("m"));
    Put("exists", "");
    EXPECT_EQ(Do("MoveFile", {Path("m"), Path("exists")}), ERR_WRONGUSAGE);
    EXPECT_EQ(Do("MoveFile", {Path("missing"), Path("x")}), ERR_READFILE);
    EXPECT_EQ(Do("MoveFile", {Path("m"), Path("no/such/folder/x")}), ERR_LOCK2);
    EXPECT_EQ(Do("MoveFile", {Path("m"), Path("m/sub/inside")}), ERR_MOVEFILE);
    EXPECT_EQ(Do("MoveFile", {"/", Path("root")}), ERR_WRONGUSAGE);
    ASSERT_EQ(Do("MoveFile", {Path("m"), Path("moved")}), 0);
    EXPECT_FALSE(Exists(Path("m")));
    EXPECT_EQ(ScanTree(Path("moved")), before);
}

TEST_F(Transfer, MoveAcrossFileSystemsCopiesAndDeletes) {
    struct stat a, b;
    if (stat("/dev/shm", &b) != 0 || stat(dir.c_str(), &a) != 0 || a.st_dev == b.st_dev)
        GTEST_SKIP() << "no second file system at /dev/shm";
    char tmpl[] = "/dev/shm/cxdos.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string other = tmpl;
    cleanup.push_back(other);

    MakeTree(Path("m"));
    chmod(Path("m/sub/deep/d.txt").c_str(), 0644);
    const Tree before = ScanTree(Path("m"));
    ASSERT_EQ(Do("MoveFile", {Path("m"), other + "/moved"}), 0);
    EXPECT_FALSE(Exists(Path("m")));
    EXPECT_EQ(ScanTree(other + "/moved"), before);

    // One file, with the callback watching.
    Put("one.txt", std::string(20000, 'o'));
    SetTime(Path("one.txt"), 1111111111);
    ASSERT_EQ(WithCallback("MoveFile", {Path("one.txt"), other + "/renamed.txt", nullptr}, 3), 0);
    EXPECT_EQ(Actions(), (std::vector<int>{1, 1, 2}));
    EXPECT_EQ(calls[1].fields["copied"], "20000");
    EXPECT_EQ(calls[2].fields["file"], Path("one.txt"));
    EXPECT_FALSE(Exists(Path("one.txt")));
    EXPECT_EQ(ScanTree(other + "/renamed.txt").at("").mtime, 1111111111);

    // Copying onto the other file system works the same way.
    MakeTree(Path("c"));
    ASSERT_EQ(Do("CopyFile", {Path("c"), other + "/copy"}), 0);
    Tree x = ScanTree(Path("c")), y = ScanTree(other + "/copy");
    x.erase("");
    y.erase("");
    EXPECT_EQ(x, y);
}

TEST_F(Transfer, LinkedFilesCopyAsStreams) {
    Put("applet.cxa", "HEADERpayloadTAIL");
    cxApplet *applet = NewApplet();
    ASSERT_NE(applet, nullptr);
    snprintf(applet->path, sizeof applet->path, "%s", Path("applet.cxa").c_str());
    auto *f = static_cast<cxLinkedFile *>(calloc(1, sizeof(cxLinkedFile)));
    f->name = strdup("data/inside.txt");
    f->offset = 6;
    f->length = 7;
    applet->files = f;
    SetRunningApplet(applet);
    EXPECT_EQ(Do("CopyFile", {"data/inside.txt", Path("out")}), 0);
    EXPECT_EQ(Get("out/inside.txt"), "payload");
    EXPECT_EQ(Do("CopyFile", {"data/inside.txt", Path("out"), nullptr, nullptr, nullptr, "*"}), ERR_NODIRPATTERN);
    SetRunningApplet(nullptr);
    FreeApplet(applet);
}

}  // namespace
}  // namespace cxtest
