// Runs a program as Linux 3.2 would: every system call added after 3.2 fails with ENOSYS, for the x86-64 ABI and the
// i386 one (a 32-bit program on a 64-bit kernel), so its fallbacks for older kernels run. A launcher for the daemon.
//   OldKernel PROGRAM [ARGS...]
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>

int main(int argc, char** argv)
{
    // Each table numbers its calls in the order they came; Linux 3.2's last was process_vm_writev: 311 on x86-64
    // (x32 calls, bit 30, are all later), 348 on i386. Other architectures are let through.
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 0, 2),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JGT | BPF_K, 311, 4, 3),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_I386, 0, 2),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JGT | BPF_K, 348, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
    };
    const sock_fprog program{sizeof(filter) / sizeof(filter[0]), filter};
    if (argc < 2 || prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) {
        std::perror("usage: OldKernel PROGRAM [ARGS...]; seccomp");
        return 127;
    }
    execv(argv[1], argv + 1);
    std::perror(argv[1]);
    return 127;
}
