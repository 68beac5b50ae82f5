/* Detaching the process into a daemon. */
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ztUtil.h"

#define CORE_DIR "/tmp/fuse_b/"

int daemon_init_ext(int allow_core)
{
    if (getppid() == 1)
        return 0; /* already a daemon */
    pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid > 0)
        exit(0);
    setsid();

    int rc;
    if (allow_core) {
        struct rlimit unlimited = {RLIM_INFINITY, RLIM_INFINITY};
        if (setrlimit(RLIMIT_CORE, &unlimited) != 0)
            printf("%s: Error: unable to set core limit in order to generate core dump!", __func__);
        rc = chdir(CORE_DIR);
        printf("%s: Note: Daemon can generate core dump.", __func__);
        fflush(stdout);
    } else {
        rc = chdir("/");
    }
    umask(0);
    return rc;
}

int daemon_init(void)
{
    return daemon_init_ext(0);
}
