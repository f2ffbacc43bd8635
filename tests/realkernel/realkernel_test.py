#!/usr/bin/env python3
"""Real-kernel test of TRVMountd in mode 2 under Debian's kernel in QEMU (README.md). Exit status 0, 1 or 77: skipped."""
import argparse, base64, collections, ctypes, glob, json, lzma, os, pathlib, re, shutil, signal, socket, subprocess, sys
import tempfile, time

START, CACHE, PASSED, FAILED = time.monotonic(), "/var/cache/trvmountd-realkernel", [], []
# Per architecture: Debian's kernel package, QEMU, apt's options for it (i386: package lists of its own, in the cache)
ARCH = {"amd64": ("linux-image-amd64", "qemu-system-x86_64", ""), "i386": ("linux-image-686", "qemu-system-i386",
        "-o Dir::State::Lists={c}/lists-i386 -o APT::Architecture=i386 -o APT::Architectures=i386 "
        "-o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache=")}
# With their dependencies: q35's USB (EHCI, UHCI), SCSI disks, FAT, ahci for the platform's disk, loop for non-SCSI disks
MODULES = ["ehci_pci", "uhci_hcd", "usb_storage", "sd_mod", "vfat", "nls_cp437", "nls_ascii", "nls_utf8", "ahci", "loop"]
P, INFO, Stick = pathlib.Path, "/tmp/.VKTMassStorageInfo", collections.namedtuple("Stick", "ident vendor model port link fixture")
TRV = Stick("trv", "Zentrix", "TRV4", "1", "/tmp/ZentrixTRV", "root-port")  # the only partitioned one
SV = Stick("silvenmar", "Zentrix", "Silvenmar", "2.3", "/tmp/ZentrixSilvenmar", "behind-hub")
FOREIGN = Stick("foreign", "Acme", "TRV4", "3", None, "unpartitioned")
MARKER = "{0.ident} stick {0.vendor} {0.model}\n".format  # STICK.TXT on the stick
DUMP = 'for p in %s; do [ -L "$p" ] && echo "L $p $(readlink "$p")" || [ ! -f "$p" ] || echo "F $p $(base64 -w 0 <"$p")"; done'
TMP = ["/tmp/Zentrix*", "/tmp/Zentrix*/STICK.TXT", INFO + "/*", INFO + "/.[!.]*"]
RECORD = ("Vendor = {0.vendor}\nProduct = {0.model}\nMountPoint = {1}\nLinkPath = {2}\nUSBDeviceNumber = {3}\n"
          "RealUSBDeviceNumber = {4}\nConnected = yes\nVendorID = {5}\nProductID = {6}\n")  # the info file
LINE = RECORD.replace("Connected = yes\n", "").replace(" = ", ": ").replace("\n", " ").strip()  # after "Connected: "


def log(message): print("[%6.1fs] %s" % (time.monotonic() - START, message), flush=True)
def run(cmd, **kw): return subprocess.run(cmd, shell=True, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kw)
def atoi(text): return int(m.group(1)) if (m := re.match(r"\s*([+-]?\d+)", text)) else 0  # as C's atoi


def check(ok, what, detail=""):
    (PASSED if ok else FAILED).append(what)
    log(("ok   " if ok else "FAIL ") + what + ("" if ok or not detail else ": " + detail))


def stop(reason="", status=77):  # ends the run, QEMU with it: skipped (no tools, kernel or time) unless checks failed
    reason and print(("SKIPPED: " if status == 77 and not FAILED else "STOPPED: ") + reason, flush=True)
    log("%d checks passed, %d failed, in %.0fs" % (len(PASSED), len(FAILED), time.monotonic() - START))
    sys.exit(1 if FAILED else status)


def poll(probe, timeout, done=bool):  # probe's value once done with it, or its last one when the time is up
    end = time.monotonic() + timeout
    while not done(value := probe()) and time.monotonic() < end: time.sleep(0.3)
    return value


def fetch_kernel(cache, arch):  # vmlinuz, root/lib/modules (and busybox but on amd64) of the kernel the meta package names
    ready = lambda d: os.path.isfile(d + "/root.ready") and P(d, "root.ready").read_text() == " ".join(MODULES)  # written last
    meta, apt = ARCH[arch][0], ARCH[arch][2].format(c=cache)
    if apt:
        os.makedirs(cache + "/lists-i386/partial", exist_ok=True) or run("apt-get %s update" % apt)
    m = re.search(r"Depends: (linux-image-\S+)", run("apt-cache %s depends %s" % (apt, meta)).stdout)
    if m and not ready(t := cache + "/" + m[1]):
        os.makedirs(t + "/root/lib/modules", exist_ok=True)
        with tempfile.TemporaryDirectory(dir=cache) as tmp:  # the modules after those they need, as kmod's modprobe shows them
            got = run("apt-get %s download %s %s && for d in *.deb; do dpkg -x $d .; done && cp boot/vmlinuz-* '%s/vmlinuz' &&"
                      " { [ ! -x bin/busybox ] || install -D bin/busybox '%s/root/bin/busybox'; } && v=$(ls lib/modules) &&"
                      " /sbin/depmod -b . $v && /sbin/modprobe -d . -S $v -aD %s" % (
                          apt, m[1], "busybox-static" if apt else "", t, t, " ".join(MODULES)), cwd=tmp)
            for i, path in enumerate(dict.fromkeys(re.findall(r"^insmod (\S+)", got.stdout, re.M))):  # decompressed for busybox
                P(t, "root/lib/modules/%02d.ko" % i).write_bytes((lzma.open if path.endswith(".xz") else open)(path, "rb").read())
            log("%s: %s" % (m[1], got.stdout[-300:])) if got.returncode else P(t, "root.ready").write_text(" ".join(MODULES))
    found = sorted(filter(ready, glob.glob(cache + "/linux-image-*-" + meta.split("-")[-1])), key=os.path.getmtime)
    return found[-1] if found else stop("no kernel package %s from apt, and none kept in %s" % (meta, cache))  # or earlier


class Guest:  # QEMU: its monitor (QMP); the guest's console, command channel and the daemon's output (serial ports 1-3)
    seen = mounts = 0

    def __init__(self, work, kernel, daemon, qemu):
        self.w, self.linked = lambda name: os.path.join(work, name), {}  # {stick: (its disk, its entries in /tmp) while linked}
        run('mkdir -p "$W" && rm -rf "$W/root" && cp -r "$K/root" "$W" && cd "$W/root" && { [ -x bin/busybox ] || install -D'
            ' "$B" bin/busybox; } && install "$G" init && install "$D" bin/TRVMountd && l=$(ldd bin/busybox "$D" 2>/dev/null |'
            ' grep -o "/[^ ]* (" | cut -d" " -f1) && { [ -z "$l" ] || cp -L --parents $l .; } && find . | busybox cpio -o -H'
            ' newc -R 0:0 >../initramfs.cpio', env=dict(os.environ, K=kernel, W=work, D=daemon, B=shutil.which("busybox"),
                                                        G=str(P(__file__).with_name("guest.sh")))).returncode and stop("no initramfs")
        self.socks = {name: socket.socketpair() for name in ("control", "qmp")}  # system disk: the initramfs tree as FAT
        cmd = [arg.format(k=kernel, w=work, *(s[1].fileno() for s in self.socks.values())) for arg in (
            qemu + " -machine q35,accel=tcg -cpu max -smp 2 -m 512 -nodefaults -display none -no-reboot -usb"
            " -chardev socket,id=control,fd={0} -chardev socket,id=qmp,fd={1} -mon chardev=qmp,mode=control -serial"
            " file:{w}/guest-console.log -serial chardev:control -serial file:{w}/daemon-output.log -kernel {k}/vmlinuz"
            " -initrd {w}/initramfs.cpio -device usb-hub,bus=usb-bus.0,port=2 -device ide-hd,drive=system,bus=ide.0 -drive"
            " if=none,id=system,format=raw,snapshot=on,file=fat:{w}/root -append").split()] + ["console=ttyS0 panic=-1"]
        subprocess.Popen(cmd, stdout=open(self.w("qemu.log"), "w"), stderr=subprocess.STDOUT, pass_fds=[  # hub: on UHCI
            s[1].fileno() for s in self.socks.values()], preexec_fn=lambda: ctypes.CDLL(None).prctl(1, signal.SIGKILL))
        self.socks = {name: (s[0], s[0].makefile("rb"), s[1].close()) for name, s in self.socks.items()}  # QEMU's ends closed
        self.read("qmp", "QEMU's monitor greeting") and self.monitor("qmp_capabilities")

    def read(self, name, what):  # the next line from QEMU's socket name, within the default timeout
        try: line = self.socks[name][1].readline().decode("utf-8", "replace")
        except OSError: line = ""  # also when QEMU ends
        return line.rstrip("\r\n") if line else stop("%s did not come (see the logs in %s)" % (what, self.w("")))

    def monitor(self, command, **arguments):  # a QMP command, which must succeed
        self.socks["qmp"][0].sendall(json.dumps({"execute": command, "arguments": arguments, "id": command}).encode() + b"\n")
        while (reply := json.loads(self.read("qmp", command))).get("id") != command: pass  # events
        "error" not in reply or stop("QEMU refused %s %s: %s" % (command, arguments, reply["error"].get("desc")))

    def sh(self, script, lines=()):  # runs a one-line script in the guest: its exit status and output lines
        self.socks["control"][0].sendall(script.encode() + b"\n")
        while not (line := self.read("control", "answer to " + script[:40])).startswith("@@END "): lines += (line,)
        return int(line[6:]), lines

    def dump(self, patterns):  # {path: ("L", link target) or ("F", the file's bytes as latin-1)} of those that exist
        return {path: (kind, base64.b64decode(value).decode("latin-1") if kind == "F" else value) for kind, path, value
                in ((line.split(" ", 2) + [""])[:3] for line in self.sh(DUMP % " ".join(patterns))[1])}

    def out(self, *starts):  # the third serial port's lines that start so: [the guest's uptime, the line]
        return [l.split(" ", 1) for l in P(self.w("daemon-output.log")).read_text(errors="replace").split("\n")[:-1]
                if l.split(" ", 1)[-1].startswith(starts)]

    def plug(self, stick):  # a stick with a directory as FAT (vvfat): an MBR with one partition, or FAT12 on the whole disk
        os.makedirs(self.w(stick.ident), exist_ok=True) or P(self.w(stick.ident), "STICK.TXT").write_text(MARKER(stick))
        node = "%s%d" % (stick.ident, self.mounts)  # a new block node each time: the old ones stay, unused
        self.monitor("blockdev-add", driver="vvfat", dir=self.w(stick.ident), floppy=stick != TRV,
                     **{"node-name": node, "read-only": True})
        self.monitor("device_add", driver="usb-bot", id=stick.ident, bus="usb-bus.0", port=stick.port)
        self.monitor("device_add", driver="scsi-hd", bus=stick.ident + ".0", lun=0, removable=True, drive=node,
                     vendor=stick.vendor, product=stick.model, **{"scsi-id": 0})
        self.monitor("qom-set", path="/machine/peripheral/" + stick.ident, property="attached", value=True)  # LUN is there
        self.mounts, up, line = self.mounts + 1, *(poll(lambda: self.out("@@MOUNT ")[self.mounts:], 60) or [["", ""]])[0]
        m = re.fullmatch(r"@@MOUNT (/media/(\w+)) (\S+/usb(\d+)/(\4-[\d.]+/)*\4-{0}/\4-{0}:1\.0/host\S+/(\w+)) (\S+) (\S+) (\S+)"
                         .format(re.escape(stick.port)), line) or stop("the guest did not mount %s at its port" % stick.ident)
        return dict(up=float(up), mount=m[1], part=m[2], dev=m[3], name=m[6], devnum=atoi(m[7]), vid=atoi(m[8]), pid=atoi(m[9]))


def step(guest, what, line, mode, quiet=3):  # the daemon's next line (None: none within quiet s), then /tmp: one check
    got = poll(lambda: guest.out("Connected: ", "Disconnected: ")[guest.seen:], 30 if line else quiet)
    guest.seen, want = guest.seen + bool(got), {"line": line}
    for s in (TRV, SV):  # links, placeholders (-k), what is read through the links, info files: nothing else
        want |= ({s.link: ("L", s.link + "_NotConnected"), s.link + "_NotConnected": ("F", "")} if mode == "-k" else {}) | (
            guest.linked.get(s, (0, {}))[1])
    st = poll(lambda: guest.dump(TMP) | {"line": (got or [[0, None]])[0][1]}, 5, want.__eq__)  # files may follow the line
    check(st == want, what, str({p: (st.get(p), want.get(p)) for p in {*st, *want} if st.get(p) != want.get(p)}))
    return float(got[0][0]) if got else 0


def event(guest, name, stick, plug, mode, into=None):  # plugs or unplugs stick; checks the daemon's line and /tmp
    d = guest.plug(stick) if plug else guest.monitor("device_del", id=stick.ident) or guest.linked.pop(stick)[0]
    into and capture(guest, stick, d, into)
    number = d["devnum"] if mode == "-d" else 0 if stick == TRV else 1  # in the line and in the info file's name
    values = (stick, d["mount"], stick.link if plug else (stick.link + "_NotConnected") * (mode == "-k"), number, d["devnum"],
              d["vid"], d["pid"])
    if plug and stick.link: guest.linked[stick] = (d, {stick.link: ("L", d["mount"]), stick.link + "/STICK.TXT": (
            "F", MARKER(stick)), "%s/.VKT_%s_%d" % (INFO, d["part"], number): ("F", RECORD.format(*values))})
    up = step(guest, "%s: %s %splugged" % (name, stick.ident, "" if plug else "un"),
              stick.link and ("Connected: " if plug else "Disconnected: ") + LINE.format(*values), mode)
    plug and up and log("mount to link: %.0f ms on the guest's clock" % ((up - d["up"]) * 1000))


def capture(guest, stick, d, into):  # the stick's sysfs entries, with the kernel's bytes, into into/<fixture>/sys
    files = "devnum busnum idVendor idProduct product bInterfaceClass vendor model rev".split()  # of the root hub and below
    paths = [d["dev"][:i] + "/" + a for i, c in enumerate(d["dev"]) if c == "/" and i > d["dev"].index("/usb") for a in files]
    shutil.rmtree(root := os.path.join(into, stick.fixture), ignore_errors=True)
    for path, (kind, value) in guest.dump(paths + ["/sys/block/" + d["name"]] + [d["dev"] + "/" + a for a in (
            "removable", "device", d["name"] + "1/partition")]).items():
        os.makedirs(os.path.dirname(root + path), exist_ok=True)
        os.symlink(value, root + path) if kind == "L" else P(root + path).write_bytes(value.encode("latin-1"))


def phase(guest, name, mode, into):  # the maker's two sticks in and out; in phase 1 the foreign one, which then stays
    guest.sh("/init stop; rm -f /tmp/Zentrix*; /init start -m 2 -v " + mode)  # afresh
    step(guest, name + ", at start", None, mode, 0)
    [event(guest, name, stick, True, mode, into) for stick in (TRV, SV, FOREIGN)[:3 - bool(mode)]]
    while mode == "-d" and (n := {s: guest.linked[s][0]["devnum"] for s in (TRV, SV)})[TRV] != n[SV]:  # on two buses
        [event(guest, name, min(n, key=n.get), plug, mode) for plug in (False, True)]  # replugging raises the lower
    [event(guest, name, stick, False, mode) for stick in (TRV, SV)]
    step(guest, name + ", at the end: nothing more", None, mode, 2)
    check(guest.sh("/init alive")[0] == 0, "the daemon still runs after " + name)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])  # README.md explains the options
    for flag, how in (("--daemon", dict(required=True)), ("--work-dir", dict(required=True)), ("--capture", dict(metavar="DIR")),
                      ("--budget", dict(type=int, default=270, metavar="SECONDS")), ("--arch", dict(choices=ARCH, default="amd64"))):
        parser.add_argument(flag, **how)
    a = parser.parse_args()
    signal.signal(signal.SIGALRM, lambda *_: stop("the run used up its time budget; this machine is too slow for it"))
    signal.alarm(a.budget)
    socket.setdefaulttimeout(120)  # for each line from QEMU
    tools = {ARCH[a.arch][1]: "qemu-system-x86", "busybox": "busybox-static", "/sbin/depmod": "kmod"}
    [stop("%s not installed (Debian package %s)" % (t, p)) for t, p in tools.items() if not shutil.which(t)]
    log("kernel " + (kernel := fetch_kernel(os.environ.get("TRV_REALKERNEL_CACHE") or (
        CACHE if os.access(CACHE if os.path.isdir(CACHE) else "/var/cache", os.W_OK) else a.work_dir + "/../kernel-cache"), a.arch)))
    guest = Guest(a.work_dir, kernel, a.daemon, ARCH[a.arch][1])
    while guest.read("control", "the booted guest") != "@@READY": pass
    for name, mode in (("phase 1", ""), ("phase 2 (-k)", "-k"), ("phase 3 (-d)", "-d")):
        phase(guest, name, mode, None if mode else a.capture)
    check(not re.search("Sanitizer|runtime error:", P(a.work_dir, "daemon-output.log").read_text(errors="replace")),
          "no sanitizer report in daemon-output.log")
    stop("", 0)


if __name__ == "__main__": main()
