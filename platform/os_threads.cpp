#include "platform/os_threads.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <new>
#include <pthread.h>
#include <sched.h>

struct cxOsMutex {
    pthread_mutex_t m;
};

struct cxOsCondition {
    pthread_cond_t c;
    int signalled;
};

extern "C" cxOsMutex *OsCreateMutex(void) {
    auto *m = static_cast<cxOsMutex *>(malloc(sizeof(cxOsMutex)));
    if (!m) return nullptr;
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    const int rc = pthread_mutex_init(&m->m, &attr);
    pthread_mutexattr_destroy(&attr);
    if (rc != 0) {
        free(m);
        return nullptr;
    }
    return m;
}

extern "C" void OsFreeMutex(cxOsMutex *m) {
    if (!m) return;
    pthread_mutex_destroy(&m->m);
    free(m);
}

extern "C" void OsLockMutex(cxOsMutex *m) { pthread_mutex_lock(&m->m); }
extern "C" void OsUnlockMutex(cxOsMutex *m) { pthread_mutex_unlock(&m->m); }

extern "C" cxOsCondition *OsCreateCondition(void) {
    auto *c = static_cast<cxOsCondition *>(malloc(sizeof(cxOsCondition)));
    if (!c) return nullptr;
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    // Timed waits count on the monotonic clock so that a step of the wall
    // clock neither ends them early nor stretches them.
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    const int rc = pthread_cond_init(&c->c, &attr);
    pthread_condattr_destroy(&attr);
    if (rc != 0) {
        free(c);
        return nullptr;
    }
    c->signalled = 0;
    return c;
}

extern "C" int OsWaitCondition(cxOsCondition *c, cxOsMutex *held, uint32_t) {
    while (!c->signalled) pthread_cond_wait(&c->c, &held->m);
    c->signalled = 0;
    return 1;
}

extern "C" int OsWaitConditionTimed(cxOsCondition *c, cxOsMutex *held, uint32_t ms) {
    struct timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += ms / 1000;
    deadline.tv_nsec += long(ms % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_nsec -= 1000000000L;
        ++deadline.tv_sec;
    }
    while (!c->signalled) {
        if (pthread_cond_timedwait(&c->c, &held->m, &deadline) == ETIMEDOUT) break;
    }
    if (!c->signalled) return 0;
    c->signalled = 0;
    return 1;
}

extern "C" void OsSignalCondition(cxOsCondition *c) {
    c->signalled = 1;
    pthread_cond_broadcast(&c->c);
}

extern "C" void OsFreeCondition(cxOsCondition *c) {
    if (!c) return;
    pthread_cond_destroy(&c->c);
    free(c);
}

struct cxOsThread {
    pthread_t tid{};
    cxOsThreadEntry entry = nullptr;
    void *userData = nullptr;
    std::mutex lock;
    std::condition_variable cv;
    bool started = false;
    bool endRequested = false;
    std::atomic<int> quit{0};
    std::atomic<int> initResult{0};
    char name[16] = {};
};

namespace {
void *ThreadMain(void *arg) {
    auto *t = static_cast<cxOsThread *>(arg);
    if (t->name[0]) pthread_setname_np(pthread_self(), t->name);
    t->entry(t);
    // A body that ended before reporting its start must not leave its creator
    // waiting.
    OsSignalThreadStarted(t);
    return nullptr;
}

bool StartThread(cxOsThread *t, uint32_t stackSize, int priority) {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    if (stackSize > 0) {
        size_t size = std::max<size_t>(stackSize, PTHREAD_STACK_MIN);
        pthread_attr_setstacksize(&attr, size);
    }
    int rc = -1;
    if (priority > 0) {
        pthread_attr_t rr;
        pthread_attr_init(&rr);
        if (stackSize > 0) {
            size_t size = std::max<size_t>(stackSize, PTHREAD_STACK_MIN);
            pthread_attr_setstacksize(&rr, size);
        }
        struct sched_param sp;
        memset(&sp, 0, sizeof sp);
        const int lo = sched_get_priority_min(SCHED_RR), hi = sched_get_priority_max(SCHED_RR);
        sp.sched_priority = priority < lo ? lo : (priority > hi ? hi : priority);
        pthread_attr_setinheritsched(&rr, PTHREAD_EXPLICIT_SCHED);
        pthread_attr_setschedpolicy(&rr, SCHED_RR);
        pthread_attr_setschedparam(&rr, &sp);
        rc = pthread_create(&t->tid, &rr, ThreadMain, t);
        pthread_attr_destroy(&rr);
        // Without the right to real-time scheduling the thread runs normally.
    }
    if (rc != 0) rc = pthread_create(&t->tid, &attr, ThreadMain, t);
    pthread_attr_destroy(&attr);
    return rc == 0;
}
}  // namespace

extern "C" cxOsThread *OsCreateThread(const char *name, cxOsThreadEntry entry, void *userData, uint32_t,
                                      uint32_t stackSize, int priority) {
    if (!entry) return nullptr;
    auto *t = new (std::nothrow) cxOsThread;
    if (!t) return nullptr;
    t->entry = entry;
    t->userData = userData;
    if (name) strncpy(t->name, name, sizeof t->name - 1);
    if (!StartThread(t, stackSize, priority)) {
        delete t;
        return nullptr;
    }
    std::unique_lock<std::mutex> lk(t->lock);
    t->cv.wait(lk, [t] { return t->started; });
    return t;
}

extern "C" cxOsThread *OsGetThreadHandle(void *argument) { return static_cast<cxOsThread *>(argument); }

extern "C" void OsPrepareThread(void) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    sigaddset(&set, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

extern "C" void *OsGetThreadUserData(cxOsThread *t) { return t ? t->userData : nullptr; }

extern "C" void OsSignalThreadStarted(cxOsThread *t) {
    std::lock_guard<std::mutex> lk(t->lock);
    t->started = true;
    t->cv.notify_all();
}

extern "C" void OsSetThreadInitResult(cxOsThread *t, int result) { t->initResult.store(result); }
extern "C" int OsGetThreadInitResult(cxOsThread *t) { return t->initResult.load(); }
extern "C" int OsCheckThreadQuit(cxOsThread *t) { return t->quit.load(std::memory_order_acquire); }
extern "C" void OsRequestThreadQuit(cxOsThread *t) { t->quit.store(1, std::memory_order_release); }

extern "C" void OsWaitThreadEnd(cxOsThread *t) {
    std::unique_lock<std::mutex> lk(t->lock);
    t->cv.wait(lk, [t] { return t->endRequested; });
}

extern "C" void OsEndThread(cxOsThread *t) {
    if (!t) return;
    OsRequestThreadQuit(t);
    {
        std::lock_guard<std::mutex> lk(t->lock);
        t->endRequested = true;
        t->cv.notify_all();
    }
    pthread_join(t->tid, nullptr);
    delete t;
}
