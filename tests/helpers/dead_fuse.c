// Mounts a FUSE file system on the folder given and never answers the kernel, as a server that hung does. Prints
// the pid of the process that keeps the connection open; the mount fails every request once it ends.
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <sys/mount.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    const int fd = open("/dev/fuse", O_RDWR | O_CLOEXEC);
    char options[128];
    snprintf(options, sizeof options, "fd=%d,rootmode=40000,user_id=0,group_id=0", fd);
    if (argc != 2 || fd < 0 || mount("dead", argv[1], "fuse.dead", MS_NOSUID | MS_NODEV, options) != 0) {
        perror("dead-fuse");
        return 1;
    }
    const pid_t server = fork();
    if (server == 0) {
        close(STDOUT_FILENO);
        for (;;)
            pause();
    }
    printf("%d\n", server);
    return server < 0;
}
