// Preloaded into the removing process by the file-system rows: runs $RACE_COMMAND once, just before the process
// deletes an entry named $RACE_BEFORE, as another program racing the removal would.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdlib.h>
#include <string.h>

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
        unsetenv("RACE_BEFORE");
        unsetenv("LD_PRELOAD"); // the command's own deletions are not raced
        if (command && system(command) != 0)
            abort();
    }
    return next(dirFd, name, flags);
}
