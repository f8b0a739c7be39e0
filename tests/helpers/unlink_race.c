// Preloaded into the removing process by the file-system rows: runs $RACE_COMMAND once, just before the process
// deletes an entry named $RACE_BEFORE, as another program racing the removal would. $RACE_DIR tells the command the
// folder the entry is in.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

int unlinkat(int dirFd, const char* name, int flags)
{
    static int (*next)(int, const char*, int);
    if (!next) {
        void* symbol = dlsym(RTLD_NEXT, "unlinkat");
        memcpy(&next, &symbol, sizeof next);
    }
    const char* before = getenv("RACE_BEFORE");
    if (before && strcmp(name, before) == 0) {
        const char* command = getenv("RACE_COMMAND");
        char proc[64], folder[4096];
        snprintf(proc, sizeof proc, "/proc/self/fd/%d", dirFd);
        const ssize_t size = readlink(proc, folder, sizeof folder - 1);
        folder[size > 0 ? size : 0] = '\0';
        setenv("RACE_DIR", folder, 1);
        unsetenv("RACE_BEFORE");
        unsetenv("LD_PRELOAD"); // the command's own deletions are not raced
        if (command && system(command) != 0)
            abort();
    }
    return next(dirFd, name, flags);
}
