#!/usr/bin/env python3
"""Real-kernel test of TRVMountd in mode 2.

Boots Debian's own kernel under QEMU (software emulation) with a small
initramfs: busybox, the kernel's USB, SCSI-disk and FAT modules, a polling
automounter and the daemon, started as `TRVMountd -m 2 -v`. Through QEMU's
monitor (QMP) it then plugs and unplugs emulated USB sticks whose SCSI vendor
and model are those of the maker's devices: a TRV stick on a root port of the
EHCI controller and a Silvenmar stick behind an emulated USB hub, plus a stick
of another vendor that must be ignored. It checks the daemon's verbose lines,
its links and its info files against what the guest kernel shows in sysfs and
in the mount table, first without and then with -k.

Exit status: 0 passed, 1 the daemon misbehaved, 77 skipped (the reason is
printed on one line): no QEMU, no kernel package, no image tools, a guest that
does not boot. Nothing that depends on the machine fails the test.
"""

import argparse
import base64
import ctypes
import fcntl
import json
import lzma
import gzip
import os
import re
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

SKIP = 77
HERE = os.path.dirname(os.path.abspath(__file__))
GUEST_DIR = os.path.join(HERE, "guest")

# Modules to load in the guest; their dependencies are added from the modules'
# own .modinfo. EHCI with its UHCI companions is the q35 machine's USB; ahci
# carries the platform's own disk; loop gives /sys/block entries that are no
# SCSI devices at all.
WANTED_MODULES = [
    "ehci_pci", "uhci_hcd", "usb_storage", "sd_mod",
    "vfat", "nls_cp437", "nls_ascii", "nls_utf8",
    "ahci", "loop",
]
KERNEL_META_PACKAGE = "linux-image-amd64"

TRV_LINK = "/tmp/ZentrixTRV"
SV_LINK = "/tmp/ZentrixSilvenmar"
PLACEHOLDER = "_NotConnected"
INFO_DIR = "/tmp/.VKTMassStorageInfo"

START = time.monotonic()
# The whole run has to stay within the test's time limit; when the machine is
# too slow for that, the run is skipped rather than cut off.
BUDGET = [270.0]
# Kernel messages of the boot worth showing in the test's log.
BOOT_MESSAGES = re.compile(r"Linux version|Command line|usb|USB|scsi|\bsd[a-z]|ata\d|FAT|TEST|@@")


class Skipped(Exception):
    """The machine cannot run this test; not a fault of the daemon."""


class Failed(Exception):
    """The daemon did something wrong; the scenario cannot go on."""


def log(message):
    print("[%6.1fs] %s" % (time.monotonic() - START, message), flush=True)


def within_budget(timeout):
    """timeout, shortened to what is left of the run's time budget."""
    left = START + BUDGET[0] - time.monotonic()
    if left <= 1:
        raise Skipped("the run used up its time budget of %.0fs; this machine is too slow for it" % BUDGET[0])
    return min(timeout, left)


def die_with_parent():
    """In a child: be killed when the driver goes, however it goes (a test timeout, say)."""
    try:
        ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG
    except (OSError, AttributeError):
        pass


def run(cmd, **kwargs):
    return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          text=True, **kwargs)


def atoi(text):
    """The C library's atoi: blanks, an optional sign, then decimal digits."""
    m = re.match(r"\s*([+-]?\d+)", text)
    return int(m.group(1)) if m else 0


# --------------------------------------------------------------------------
# The kernel: download, unpack, pick the modules


def elf_section(data, wanted):
    """Contents of the named section of a 64-bit little-endian ELF file."""
    if data[:4] != b"\x7fELF" or data[4] != 2:
        return None
    shoff, = struct.unpack_from("<Q", data, 0x28)
    shentsize, shnum, shstrndx = struct.unpack_from("<HHH", data, 0x3A)
    sections = []
    for i in range(shnum):
        name, _type, _flags, _addr, offset, size = struct.unpack_from(
            "<IIQQQQ", data, shoff + i * shentsize)
        sections.append((name, offset, size))
    _n, stroff, strsize = sections[shstrndx]
    names = data[stroff:stroff + strsize]
    for name, offset, size in sections:
        end = names.index(b"\0", name)
        if names[name:end].decode() == wanted:
            return data[offset:offset + size]
    return None


def is_static_elf(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] != b"\x7fELF":
        return True
    phoff, = struct.unpack_from("<Q", data, 0x20)
    phentsize, phnum = struct.unpack_from("<HH", data, 0x36)
    for i in range(phnum):
        p_type, = struct.unpack_from("<I", data, phoff + i * phentsize)
        if p_type == 3:  # PT_INTERP
            return False
    return True


def module_name(filename):
    return re.sub(r"\.ko(\.(xz|gz|zst))?$", "", filename).replace("-", "_")


def read_module(path):
    """The module's bytes, decompressed on the host: busybox insmod takes plain .ko files."""
    if path.endswith(".ko.xz"):
        return lzma.open(path).read()
    if path.endswith(".ko.gz"):
        return gzip.open(path).read()
    if path.endswith(".ko.zst"):
        if not shutil.which("zstd"):
            raise Skipped("the kernel's modules are zstd-compressed and zstd is not installed")
        return subprocess.run(["zstd", "-dc", path], stdout=subprocess.PIPE, check=True).stdout
    with open(path, "rb") as f:
        return f.read()


def prepare_kernel(deb, target):
    """Unpacks the kernel package and keeps vmlinuz and the needed modules in target."""
    unpack = target + ".unpack"
    shutil.rmtree(unpack, ignore_errors=True)
    os.makedirs(unpack)
    try:
        result = run(["dpkg", "-x", deb, unpack])
        if result.returncode != 0:
            raise Skipped("dpkg -x of the kernel package failed: " + result.stdout.strip()[-200:])
        moddirs = [d for d in ("lib/modules", "usr/lib/modules")
                   if os.path.isdir(os.path.join(unpack, d))]
        if not moddirs:
            raise Skipped("the kernel package holds no modules")
        moddir = os.path.join(unpack, moddirs[0])
        version = sorted(os.listdir(moddir))[0]
        root = os.path.join(moddir, version)
        vmlinuz = None
        for d in ("boot", "usr/lib/linux", "usr/lib/modules/" + version):
            for name in sorted(os.listdir(os.path.join(unpack, d))) if os.path.isdir(os.path.join(unpack, d)) else []:
                if name.startswith("vmlinuz"):
                    vmlinuz = os.path.join(unpack, d, name)
        if not vmlinuz:
            raise Skipped("the kernel package holds no vmlinuz")

        index = {}
        for dirpath, _dirs, files in os.walk(os.path.join(root, "kernel")):
            for name in files:
                if re.search(r"\.ko(\.(xz|gz|zst))?$", name):
                    index[module_name(name)] = os.path.join(dirpath, name)
        builtin = set()
        builtin_list = os.path.join(root, "modules.builtin")
        if os.path.exists(builtin_list):
            with open(builtin_list) as f:
                builtin = {module_name(os.path.basename(line.strip())) for line in f}

        order, contents = [], {}

        def visit(name, chain):
            if name in contents or name in builtin:
                return
            if name in chain:
                return
            if name not in index:
                raise Skipped("kernel module %s not found in the kernel package" % name)
            data = read_module(index[name])
            modinfo = elf_section(data, ".modinfo") or b""
            depends = []
            for entry in modinfo.split(b"\0"):
                if entry.startswith(b"depends="):
                    depends = [d for d in entry[8:].decode().split(",") if d]
            for dep in depends:
                visit(dep.replace("-", "_"), chain + [name])
            contents[name] = data
            order.append(name)

        for name in WANTED_MODULES:
            visit(name, [])

        building = target + ".new"
        shutil.rmtree(building, ignore_errors=True)
        os.makedirs(os.path.join(building, "modules"))
        shutil.copyfile(vmlinuz, os.path.join(building, "vmlinuz"))
        for name in order:
            with open(os.path.join(building, "modules", name + ".ko"), "wb") as f:
                f.write(contents[name])
        with open(os.path.join(building, "load-order"), "w") as f:
            f.write("".join(name + ".ko\n" for name in order))
        with open(os.path.join(building, "release"), "w") as f:
            f.write(version + "\n")
        with open(os.path.join(building, "wanted"), "w") as f:
            f.write(" ".join(WANTED_MODULES) + "\n")
        shutil.rmtree(target, ignore_errors=True)
        os.rename(building, target)
    finally:
        shutil.rmtree(unpack, ignore_errors=True)


def kernel_package_name():
    """The versioned image package that the meta package depends on, or None."""
    if not shutil.which("apt-cache"):
        return None
    result = run(["apt-cache", "depends", KERNEL_META_PACKAGE])
    for line in result.stdout.splitlines():
        m = re.match(r"\s*Depends:\s*(linux-image-\S+)", line)
        if m:
            return m.group(1)
    return None


def prepared_kernels(cache):
    found = []
    for name in os.listdir(cache):
        path = os.path.join(cache, name)
        if name.startswith("linux-image-") and os.path.exists(os.path.join(path, "wanted")):
            found.append((os.path.getmtime(path), path))
    return [p for _t, p in sorted(found, reverse=True)]


def is_usable(prepared):
    try:
        with open(os.path.join(prepared, "wanted")) as f:
            return f.read().split() == WANTED_MODULES
    except OSError:
        return False


def download_kernel(package, cache):
    """Downloads the package's .deb into cache; returns its file name, or None."""
    download = tempfile.mkdtemp(prefix="download.", dir=cache)
    try:
        os.chmod(download, 0o755)
        log("downloading %s with apt-get download" % package)
        result = run(["apt-get", "download", package], cwd=download, timeout=within_budget(240))
        got = [n for n in os.listdir(download) if n.endswith(".deb")]
        if result.returncode == 0 and got:
            os.rename(os.path.join(download, got[0]), os.path.join(cache, got[0]))
            return got[0]
        log("apt-get download %s failed: %s" % (package, " | ".join(result.stdout.strip().splitlines()[-2:])))
    except subprocess.TimeoutExpired:
        log("apt-get download %s timed out" % package)
    finally:
        shutil.rmtree(download, ignore_errors=True)
    return None


def fetch_kernel(cache):
    """Returns the directory with vmlinuz, modules/ and load-order, preparing it once."""
    try:
        os.makedirs(cache, exist_ok=True)
        lock = open(os.path.join(cache, ".lock"), "w")
    except OSError as e:
        raise Skipped("kernel cache %s not writable: %s" % (cache, e))
    with lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        updated = False
        while True:
            package = kernel_package_name()
            if package:
                prepared = os.path.join(cache, package)
                if is_usable(prepared):
                    return prepared
                debs = [n for n in os.listdir(cache) if n.startswith(package + "_") and n.endswith(".deb")]
                if not debs and shutil.which("apt-get"):
                    deb = download_kernel(package, cache)
                    debs = [deb] if deb else []
                if debs:
                    log("unpacking %s with dpkg -x" % debs[0])
                    prepare_kernel(os.path.join(cache, debs[0]), prepared)
                    # Older kernels are of no further use once the current one is ready.
                    for name in os.listdir(cache):
                        if name.startswith("linux-image-") and name != package \
                                and not name.startswith(package + "_"):
                            path = os.path.join(cache, name)
                            if os.path.isdir(path):
                                shutil.rmtree(path, ignore_errors=True)
                            else:
                                os.remove(path)
                    return prepared
            # No kernel package known, or its download failed: the package
            # lists may be missing (a fresh machine) or out of date.
            if not updated and os.geteuid() == 0 and shutil.which("apt-get"):
                log("updating the package lists with apt-get update")
                try:
                    run(["apt-get", "update"], timeout=within_budget(240))
                except subprocess.TimeoutExpired:
                    pass
                updated = True
                continue
            cached = [p for p in prepared_kernels(cache) if is_usable(p)]
            if cached:
                log("no %s to be had; using the cached %s" % (package or KERNEL_META_PACKAGE,
                                                              os.path.basename(cached[0])))
                return cached[0]
            raise Skipped("cannot get the kernel package %s with apt (no package lists, or the download"
                          " failed) and none is cached in %s" % (package or KERNEL_META_PACKAGE, cache))


# --------------------------------------------------------------------------
# The initramfs


class Cpio:
    """A newc-format archive, written without root rights or a cpio tool."""

    def __init__(self):
        self.entries = {}

    def _parents(self, path):
        parts = path.strip("/").split("/")[:-1]
        for i in range(1, len(parts) + 1):
            self.entries.setdefault("/".join(parts[:i]), (0o040755, b"", 0))

    def directory(self, path, mode=0o755):
        self._parents(path)
        self.entries[path.strip("/")] = (0o040000 | mode, b"", 0)

    def file(self, path, data, mode=0o644):
        self._parents(path)
        self.entries[path.strip("/")] = (0o100000 | mode, data, 0)

    def copy(self, path, source, mode=None):
        with open(source, "rb") as f:
            data = f.read()
        if mode is None:
            mode = os.stat(source).st_mode & 0o777
        self.file(path, data, mode)

    def symlink(self, path, target):
        self._parents(path)
        self.entries[path.strip("/")] = (0o120777, target.encode(), 0)

    def chardev(self, path, major, minor, mode=0o600):
        self._parents(path)
        self.entries[path.strip("/")] = (0o020000 | mode, b"", (major, minor))

    def write(self, out):
        with open(out, "wb") as f:
            for ino, name in enumerate(sorted(self.entries), start=1):
                mode, data, dev = self.entries[name]
                self._entry(f, ino, name, mode, data, dev)
            self._entry(f, 0, "TRAILER!!!", 0, b"", 0)

    @staticmethod
    def _entry(f, ino, name, mode, data, dev):
        rmajor, rminor = dev if dev else (0, 0)
        raw = name.encode() + b"\0"
        header = "070701" + "".join("%08X" % v for v in (
            ino, mode, 0, 0, 2 if mode & 0o040000 else 1, 0, len(data),
            0, 0, rmajor, rminor, len(raw), 0))
        f.write(header.encode() + raw)
        f.write(b"\0" * ((4 - (110 + len(raw)) % 4) % 4))
        f.write(data)
        f.write(b"\0" * ((4 - len(data) % 4) % 4))


def shared_libraries(binary):
    """Paths of the shared libraries (and the loader) that binary needs."""
    with open(binary, "rb") as f:
        if f.read(4) != b"\x7fELF" or is_static_elf(binary):
            return []
    if not shutil.which("ldd"):
        raise Skipped("ldd not available to find the daemon's libraries")
    result = run(["ldd", binary])
    if result.returncode != 0:
        raise Skipped("ldd %s failed: %s" % (binary, result.stdout.strip()))
    libs = []
    for line in result.stdout.splitlines():
        m = re.search(r"=>\s*(/\S+)", line) or re.match(r"\s*(/\S+)", line)
        if m:
            libs.append(m.group(1))
    return libs


def build_initramfs(out, kernel, busybox, daemon):
    archive = Cpio()
    for d in ("bin", "sbin", "dev", "proc", "sys", "tmp", "run", "etc", "media", "mnt", "root"):
        archive.directory(d)
    archive.chardev("dev/console", 5, 1)
    archive.chardev("dev/null", 1, 3, 0o666)
    archive.copy("bin/busybox", busybox, 0o755)
    archive.symlink("bin/sh", "busybox")
    archive.copy("init", os.path.join(GUEST_DIR, "init.sh"), 0o755)
    for script in ("automounter.sh", "daemonctl.sh", "report.sh"):
        archive.copy("test/" + script, os.path.join(GUEST_DIR, script), 0o755)
    archive.copy("bin/TRVMountd", daemon, 0o755)
    libdirs = []
    for binary in (busybox, daemon):
        for lib in shared_libraries(binary):
            archive.copy(lib, os.path.realpath(lib), 0o755)
            d = os.path.dirname(lib)
            if d not in libdirs:
                libdirs.append(d)
    archive.file("test/library-path", (":".join(libdirs) + "\n").encode())
    archive.copy("lib/modules/load-order", os.path.join(kernel, "load-order"))
    with open(os.path.join(kernel, "load-order")) as f:
        for name in f.read().split():
            archive.copy("lib/modules/" + name, os.path.join(kernel, "modules", name), 0o644)
    archive.write(out)


# --------------------------------------------------------------------------
# Talking to QEMU and to the guest


class LineReader(threading.Thread):
    """Reads lines from a socket into a list that waiters can watch."""

    def __init__(self, sock, transcript=None):
        super().__init__(daemon=True)
        self.sock = sock
        self.lines = []
        self.cond = threading.Condition()
        self.closed = False
        self.transcript = transcript

    def run(self):
        pending = b""
        while True:
            try:
                chunk = self.sock.recv(65536)
            except OSError:
                chunk = b""
            if not chunk:
                break
            pending += chunk
            *complete, pending = pending.split(b"\n")
            if complete:
                with self.cond:
                    for raw in complete:
                        line = raw.decode("utf-8", "replace").rstrip("\r")
                        self.lines.append(line)
                        if self.transcript:
                            self.transcript.write(line + "\n")
                            self.transcript.flush()
                    self.cond.notify_all()
        with self.cond:
            self.closed = True
            self.cond.notify_all()

    def wait_for(self, predicate, start, timeout):
        """First index >= start whose line satisfies predicate, or None at timeout."""
        deadline = time.monotonic() + timeout
        with self.cond:
            while True:
                for i in range(start, len(self.lines)):
                    if predicate(self.lines[i]):
                        return i
                start = max(start, len(self.lines))
                left = deadline - time.monotonic()
                if left <= 0 or self.closed:
                    return None
                self.cond.wait(left)


class Qmp:
    def __init__(self, sock):
        self.sock = sock
        self.reader = LineReader(sock)
        self.reader.start()
        self.seen = 0
        self.next_id = 0
        if self.reader.wait_for(lambda l: '"QMP"' in l, 0, 30) is None:
            raise Skipped("QEMU's monitor sent no greeting")
        self.execute("qmp_capabilities")

    def execute(self, command, **arguments):
        self.next_id += 1
        tag = "c%d" % self.next_id
        message = {"execute": command, "id": tag}
        if arguments:
            message["arguments"] = arguments
        start = len(self.reader.lines)
        self.sock.sendall((json.dumps(message) + "\n").encode())
        i = self.reader.wait_for(lambda l: ('"%s"' % tag) in l, start, 60)
        if i is None:
            raise Skipped("QEMU did not answer %s" % command)
        reply = json.loads(self.reader.lines[i])
        if "error" in reply:
            raise Skipped("QEMU refused %s %s: %s" % (command, arguments, reply["error"].get("desc")))
        return reply.get("return")

    def wait_event(self, name, device, start, timeout):
        def match(line):
            try:
                event = json.loads(line)
            except ValueError:
                return False
            return event.get("event") == name and event.get("data", {}).get("device") == device
        return self.reader.wait_for(match, start, timeout)


class Guest:
    """The guest's command channel on its first serial port."""

    def __init__(self, sock, transcript):
        self.sock = sock
        self.reader = LineReader(sock, transcript)
        self.reader.start()
        self.next_id = 0

    def wait_ready(self, timeout):
        return self.reader.wait_for(lambda l: l.strip() == "@@READY", 0, within_budget(timeout))

    def run(self, script, timeout=30):
        self.next_id += 1
        tag = self.next_id
        start = len(self.reader.lines)
        payload = base64.b64encode(script.encode()).decode()
        self.sock.sendall(("%d %s\n" % (tag, payload)).encode())
        end = self.reader.wait_for(lambda l: l.startswith("@@END %d " % tag), start, within_budget(timeout))
        if end is None:
            raise Skipped("the guest did not answer a command within %ds: %s" % (timeout, script[:60]))
        begin = self.reader.wait_for(lambda l: l == "@@BEGIN %d" % tag, start, 0)
        lines = self.reader.lines[(begin + 1 if begin is not None else start):end]
        status = int(self.reader.lines[end].split()[2])
        return status, lines


class FileLines:
    """The daemon's output as the host receives it from the guest's second serial port."""

    def __init__(self, path):
        self.path = path
        self.lines = []
        self.pending = b""
        self.offset = 0

    def poll(self):
        try:
            with open(self.path, "rb") as f:
                f.seek(self.offset)
                chunk = f.read()
        except OSError:
            return
        self.offset += len(chunk)
        self.pending += chunk
        *complete, self.pending = self.pending.split(b"\n")
        for raw in complete:
            line = raw.decode("utf-8", "replace").rstrip("\r")
            self.lines.append(line)
            log("daemon| " + line)

    def wait_for(self, predicate, start, timeout):
        deadline = time.monotonic() + timeout
        while True:
            self.poll()
            for i in range(start, len(self.lines)):
                if predicate(self.lines[i]):
                    return i
            if time.monotonic() >= deadline:
                return None
            time.sleep(0.1)


# --------------------------------------------------------------------------
# The scenario


class Stick:
    def __init__(self, ident, vendor, model, port, layout, image):
        self.ident = ident
        self.vendor = vendor
        self.model = model
        self.port = port
        self.layout = layout
        self.image = image
        self.marker = "%s stick %s %s" % (ident, vendor, model)


class Test:
    def __init__(self, args):
        self.args = args
        self.failures = []
        self.passes = 0
        self.qemu = None
        self.socket_dir = None
        self.dmesg_seen = 0
        self.daemon_seen = 0  # daemon output lines already accounted for

    # --- checks ---

    def check(self, condition, what, detail=""):
        if condition:
            self.passes += 1
            log("ok   " + what)
        else:
            self.failures.append(what + (": " + detail if detail else ""))
            log("FAIL " + what + (": " + detail if detail else ""))
        return condition

    def require(self, condition, what, detail=""):
        if not self.check(condition, what, detail):
            raise Failed(what)

    # --- set-up ---

    def tools(self):
        qemu = shutil.which("qemu-system-x86_64")
        if not qemu:
            raise Skipped("qemu-system-x86_64 not installed (Debian package qemu-system-x86)")
        busybox = None
        for candidate in ("/bin/busybox", "/usr/bin/busybox", shutil.which("busybox")):
            if candidate and os.path.exists(candidate):
                busybox = candidate
                break
        if not busybox:
            raise Skipped("busybox not installed (Debian package busybox-static)")
        for tool, package in (("sfdisk", "fdisk"), ("mkfs.vfat", "dosfstools"),
                              ("mcopy", "mtools"), ("dpkg", "dpkg")):
            if not shutil.which(tool) and not os.path.exists("/usr/sbin/" + tool) \
                    and not os.path.exists("/sbin/" + tool):
                raise Skipped("%s not installed (Debian package %s)" % (tool, package))
        if not os.access(self.args.daemon, os.X_OK):
            raise Skipped("daemon binary %s not found" % self.args.daemon)
        self.qemu_binary = qemu
        self.busybox = busybox

    def make_images(self):
        work = self.args.work_dir
        script = os.path.join(HERE, "make-disk-image.sh")
        env = dict(os.environ, PATH=os.environ.get("PATH", "") + ":/usr/sbin:/sbin")
        self.system_image = os.path.join(work, "system.img")
        jobs = [("partitioned", self.system_image, "SYSTEM", "platform system disk")]
        for stick in self.sticks:
            jobs.append((stick.layout, stick.image, stick.ident.upper()[:11], stick.marker))
        for layout, image, label, marker in jobs:
            result = run(["sh", script, layout, image, label, marker], env=env)
            if result.returncode != 0:
                raise Skipped("making the disk image %s failed: %s" % (image, result.stdout.strip()))

    def start_qemu(self, kernel):
        work = self.args.work_dir
        self.socket_dir = tempfile.mkdtemp(prefix="trvrk.")
        control = os.path.join(self.socket_dir, "control")
        monitor = os.path.join(self.socket_dir, "qmp")
        self.daemon_output = os.path.join(work, "daemon-output.log")
        self.transcript_path = os.path.join(work, "guest-console.log")
        for path in (self.daemon_output, self.transcript_path):
            if os.path.exists(path):
                os.remove(path)
        cmd = [
            self.qemu_binary,
            "-machine", "q35,accel=tcg", "-cpu", "max", "-smp", "2", "-m", "512",
            "-nodefaults", "-display", "none", "-no-reboot", "-usb",
            "-kernel", os.path.join(kernel, "vmlinuz"),
            "-initrd", os.path.join(work, "initramfs.cpio"),
            "-append", "console=ttyS0 panic=-1",
            "-chardev", "socket,id=control,path=%s,server=on,wait=on" % control,
            "-serial", "chardev:control",
            "-chardev", "file,id=daemon,path=%s" % self.daemon_output,
            "-serial", "chardev:daemon",
            "-qmp", "unix:%s,server=on,wait=on" % monitor,
            "-drive", "if=none,id=system,format=raw,file=%s" % self.system_image,
            "-device", "ide-hd,drive=system,bus=ide.0",
            # The hub sits on EHCI root port 2; as a full-speed device it is
            # handed to the UHCI companion controller.
            "-device", "usb-hub,id=hub,bus=usb-bus.0,port=2",
        ]
        log("starting: " + " ".join(cmd))
        self.qemu_log = open(os.path.join(work, "qemu.log"), "w")
        self.qemu = subprocess.Popen(cmd, stdout=self.qemu_log, stderr=subprocess.STDOUT,
                                     preexec_fn=die_with_parent)
        socks = {}
        deadline = time.monotonic() + 30
        while len(socks) < 2:
            if self.qemu.poll() is not None:
                raise Skipped("QEMU exited at start: " + self.tail(os.path.join(work, "qemu.log")))
            if time.monotonic() > deadline:
                raise Skipped("QEMU opened no sockets")
            for name, path in (("control", control), ("qmp", monitor)):
                if name not in socks and os.path.exists(path):
                    s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
                    try:
                        s.connect(path)
                        socks[name] = s
                    except OSError:
                        s.close()
            time.sleep(0.05)
        self.transcript = open(self.transcript_path, "w")
        self.guest = Guest(socks["control"], self.transcript)
        self.qmp = Qmp(socks["qmp"])
        self.output = FileLines(self.daemon_output)

    @staticmethod
    def tail(path, n=15):
        try:
            with open(path, errors="replace") as f:
                return " | ".join(l.rstrip() for l in f.readlines()[-n:])
        except OSError:
            return "(no output)"

    def stop_qemu(self):
        if self.qemu and self.qemu.poll() is None:
            try:
                self.qmp.sock.sendall(b'{"execute": "quit"}\n')
                self.qemu.wait(10)
            except Exception:
                pass
        if self.qemu and self.qemu.poll() is None:
            self.qemu.kill()
            self.qemu.wait()
        if self.socket_dir:
            shutil.rmtree(self.socket_dir, ignore_errors=True)

    # --- the guest's view ---

    def dmesg(self, only=None):
        """Prints the kernel's messages that were not printed yet (those matching only)."""
        _status, lines = self.guest.run("dmesg | tail -n +%d" % (self.dmesg_seen + 1))
        for line in lines:
            if only is None or only.search(line):
                log("kernel| " + line)
        self.dmesg_seen += len(lines)

    def disks(self):
        self.output.poll()
        status, lines = self.guest.run("/test/report.sh disks")
        disks, mtab = {}, []
        for line in lines:
            if line.startswith("MTAB "):
                mtab.append(line[5:])
                continue
            m = re.match(r"DISK (\S+) (\S+) ?(.*)$", line)
            if not m:
                continue
            name, key, value = m.groups()
            d = disks.setdefault(name, {"usb": {}})
            if key == "USB":
                attr, _, v = value.partition(" ")
                d["usb"][attr] = v
            else:
                d[key.lower()] = value
        return disks, mtab

    @staticmethod
    def bracketed(value):
        return value[1:-1] if value.startswith("[") and value.endswith("]") else None

    def find_disk(self, stick, disks):
        for name, d in disks.items():
            vendor = self.bracketed(d.get("vendor", ""))
            model = self.bracketed(d.get("model", ""))
            if vendor is not None and model is not None and \
                    vendor.split()[:1] == [stick.vendor] and model.split()[:1] == [stick.model]:
                return name, d
        return None, None

    @staticmethod
    def mount_point(mtab, device):
        for line in mtab:
            fields = line.split(" ")
            if len(fields) > 1 and fields[0] == "/dev/" + device:
                return fields[1]
        return None

    def paths(self, *paths):
        self.output.poll()
        status, lines = self.guest.run("/test/report.sh paths " + " ".join(paths))
        found, info = {}, {}
        for line in lines:
            if line.startswith("PATH "):
                _, path, kind, *rest = line.split(" ", 3)
                entry = found.setdefault(path, {})
                if kind == "marker":
                    entry["marker"] = rest[0] if rest else ""
                else:
                    entry["kind"] = kind
                    entry["value"] = rest[0] if rest else ""
            elif line.startswith("INFO "):
                parts = line.split(" ", 2)
                info[parts[1]] = base64.b64decode(parts[2] if len(parts) > 2 else "").decode("utf-8", "replace")
            elif line.startswith("INFODIR absent"):
                info = None
        return found, info

    def daemon_running(self):
        _status, lines = self.guest.run("/test/daemonctl.sh status")
        return bool(lines) and lines[0].startswith("running")

    # --- daemon output ---

    def new_device_lines(self):
        self.output.poll()
        return [l for l in self.output.lines[self.daemon_seen:]
                if l.startswith("Connected: ") or l.startswith("Disconnected: ")]

    def expect_line(self, prefix, expected, timeout, what):
        wait = within_budget(timeout)
        i = self.output.wait_for(
            lambda l: l.startswith("Connected: ") or l.startswith("Disconnected: "),
            self.daemon_seen, wait)
        if i is None:
            within_budget(timeout)
            self.require(False, what, "no \"%s\" line within %ds (expected %r)" % (prefix, timeout, expected))
        line = self.output.lines[i]
        self.daemon_seen = i + 1
        self.check(line == expected, what, "got %r, expected %r" % (line, expected))

    # --- plugging ---

    def plug(self, stick):
        node = stick.ident + "-disk"
        self.qmp.execute("blockdev-add", **{
            "driver": "raw", "node-name": node,
            "file": {"driver": "file", "filename": stick.image}})
        self.qmp.execute("device_add", **{
            "driver": "usb-bot", "id": stick.ident, "bus": "usb-bus.0", "port": stick.port})
        self.qmp.execute("device_add", **{
            "driver": "scsi-hd", "id": stick.ident + "-lun0", "bus": stick.ident + ".0",
            "scsi-id": 0, "lun": 0, "drive": node, "removable": True,
            "vendor": stick.vendor, "product": stick.model})
        # A hot-plugged usb-bot waits until its logical units are there.
        self.qmp.execute("qom-set", path="/machine/peripheral/" + stick.ident,
                         property="attached", value=True)
        log("plugged %s (vendor %s, model %s) into USB port %s"
            % (stick.ident, stick.vendor, stick.model, stick.port))

    def unplug(self, stick):
        start = len(self.qmp.reader.lines)
        self.qmp.execute("device_del", id=stick.ident)
        if self.qmp.wait_event("DEVICE_DELETED", stick.ident, start, 30) is None:
            raise Skipped("QEMU did not unplug %s" % stick.ident)
        self.qmp.execute("blockdev-del", **{"node-name": stick.ident + "-disk"})
        log("unplugged %s from USB port %s" % (stick.ident, stick.port))

    def wait_mounted(self, stick, timeout=60):
        """Waits until the guest shows the stick as a disk and the automounter has mounted it."""
        deadline = time.monotonic() + within_budget(timeout)
        while True:
            within_budget(timeout)
            disks, mtab = self.disks()
            name, disk = self.find_disk(stick, disks)
            if name:
                device = name + "1" if stick.layout == "partitioned" else name
                mount = self.mount_point(mtab, device)
                if mount:
                    return name, disk, device, mount, mtab
            if time.monotonic() > deadline:
                self.dmesg()
                raise Skipped("the guest kernel did not show %s as a mounted disk within %ds"
                              % (stick.ident, timeout))
            time.sleep(0.5)

    def describe(self, stick, name, disk, device, mount, mtab, hub):
        """Logs the stick's sysfs view and checks that it sits where it was plugged."""
        link = disk.get("link", "")
        log("%s is /sys/block/%s; readlink /sys/block/%s = %s" % (stick.ident, name, name, link))
        log("  vendor=%s model=%s removable=%s partitions=%s"
            % (disk.get("vendor"), disk.get("model"), disk.get("removable"), disk.get("partitions", "").strip() or "none"))
        log("  USB device directory %s" % disk.get("usbdir"))
        log("  " + " ".join("%s=%s" % kv for kv in sorted(disk["usb"].items())))
        for line in mtab:
            if line.startswith("/dev/%s " % device):
                log("  /etc/mtab: " + line)
        if hub:
            shape = r"^\.\./devices/pci[^/]+/[^/]+/usb(\d+)/\1-(\d+)/\1-\2\.(\d+)/\1-\2\.\3:1\.0/host\d+/target\d+:0:0/\d+:0:0:0/block/" + name + "$"
        else:
            shape = r"^\.\./devices/pci[^/]+/[^/]+/usb(\d+)/\1-(\d+)/\1-\2:1\.0/host\d+/target\d+:0:0/\d+:0:0:0/block/" + name + "$"
        if not re.match(shape, link):
            raise Skipped("%s did not show up where it was plugged (%s): %s"
                          % (stick.ident, "behind the hub" if hub else "on a root port", link))
        for attr in ("devnum", "idVendor", "idProduct"):
            if self.bracketed(disk["usb"].get(attr, "")) is None:
                raise Skipped("the guest shows no %s for %s" % (attr, stick.ident))

    def expected_record(self, stick, disk, mount, link_path, real_ids=False):
        usb = disk["usb"]
        real = atoi(self.bracketed(usb["devnum"]))
        fake = real if real_ids else 0 if stick.model.lower().startswith("trv") else 1
        vendor_id = atoi(self.bracketed(usb["idVendor"]))
        product_id = atoi(self.bracketed(usb["idProduct"]))
        if self.bracketed(usb.get("product", "")) == "QRL2100":
            product_id = 10
        text = ("Vendor: %s Product: %s MountPoint: %s LinkPath: %s USBDeviceNumber: %d "
                "RealUSBDeviceNumber: %d VendorID: %d ProductID: %d"
                % (stick.vendor, stick.model, mount, link_path, fake, real, vendor_id, product_id))
        info = ("Vendor = %s\nProduct = %s\nMountPoint = %s\nLinkPath = %s\nUSBDeviceNumber = %d\n"
                "RealUSBDeviceNumber = %d\nConnected = yes\nVendorID = %d\nProductID = %d\n"
                % (stick.vendor, stick.model, mount, link_path, fake, real, vendor_id, product_id))
        return fake, text, info

    def connect(self, stick, hub, link_path, other_infos):
        """Plugs a maker's stick and checks the daemon's line, link and info file."""
        self.plug(stick)
        name, disk, device, mount, mtab = self.wait_mounted(stick)
        self.describe(stick, name, disk, device, mount, mtab, hub)
        fake, text, info = self.expected_record(stick, disk, mount, link_path)
        self.expect_line("Connected: ", "Connected: " + text, 30,
                         "%s: verbose \"Connected: \" line with the real USB numbers" % stick.ident)
        found, infos = self.paths(link_path, link_path + PLACEHOLDER)
        here = found.get(link_path, {})
        self.check(here.get("kind") == "symlink" and here.get("value") == mount,
                   "%s: %s is a link to the automounter's mount point %s" % (stick.ident, link_path, mount),
                   "found %s" % here)
        self.check(here.get("marker") == stick.marker,
                   "%s: the link leads to the stick's own files" % stick.ident,
                   "STICK.TXT through the link reads %r" % here.get("marker"))
        info_name = ".VKT_%s_%d" % (device, fake)
        expected_infos = dict(other_infos)
        expected_infos[info_name] = info
        self.check(infos == expected_infos,
                   "%s: info file %s/%s with the record, and nothing else in the info directory"
                   % (stick.ident, INFO_DIR, info_name),
                   "found %r, expected %r" % (infos, expected_infos))
        self.dmesg()
        return {"name": name, "device": device, "mount": mount, "disk": disk,
                "info_name": info_name, "info": info, "fake": fake}

    def disconnect(self, stick, state, link_path, keep, other_infos):
        """Unplugs a maker's stick and checks the daemon's line, link and info file."""
        self.unplug(stick)
        reported = link_path + PLACEHOLDER if keep else ""
        _fake, text, _info = self.expected_record(stick, state["disk"], state["mount"], reported)
        self.expect_line("Disconnected: ", "Disconnected: " + text, 30,
                         "%s: verbose \"Disconnected: \" line" % stick.ident)
        found, infos = self.paths(link_path, link_path + PLACEHOLDER)
        self.check(infos == other_infos,
                   "%s: its info file is gone, the other info files stay" % stick.ident,
                   "found %r, expected %r" % (infos, other_infos))
        if keep:
            self.check_placeholder(found, link_path, "%s: after the unplug" % stick.ident)
        else:
            self.check(found.get(link_path, {}).get("kind") == "absent",
                       "%s: %s is gone" % (stick.ident, link_path), "found %s" % found.get(link_path))
        self.dmesg()

    def check_placeholder(self, found, link_path, when):
        here = found.get(link_path, {})
        placeholder = found.get(link_path + PLACEHOLDER, {})
        self.check(here.get("kind") == "symlink" and here.get("value") == link_path + PLACEHOLDER,
                   "%s %s is a link to %s" % (when, link_path, link_path + PLACEHOLDER), "found %s" % here)
        self.check(placeholder.get("kind") == "file" and placeholder.get("value", "").strip() == "0",
                   "%s %s is an empty regular file" % (when, link_path + PLACEHOLDER),
                   "found %s" % placeholder)

    def check_quiet(self, what):
        lines = self.new_device_lines()
        self.check(not lines, what, "unexpected lines %r" % lines)

    # --- the whole run ---

    def scenario(self):
        trv = Stick("trv", "Zentrix", "TRV4", "1", "partitioned",
                    os.path.join(self.args.work_dir, "trv.img"))
        silvenmar = Stick("silvenmar", "Zentrix", "Silvenmar", "2.3", "whole",
                          os.path.join(self.args.work_dir, "silvenmar.img"))
        foreign = Stick("foreign", "Acme", "TRV4", "3", "partitioned",
                        os.path.join(self.args.work_dir, "foreign.img"))
        self.sticks = [trv, silvenmar, foreign]

        os.makedirs(self.args.work_dir, exist_ok=True)
        self.tools()
        kernel = fetch_kernel(self.args.cache_dir)
        with open(os.path.join(kernel, "release")) as f:
            log("kernel %s from %s" % (f.read().strip(), kernel))
        self.make_images()
        build_initramfs(os.path.join(self.args.work_dir, "initramfs.cpio"), kernel,
                        self.busybox, self.args.daemon)
        log("initramfs and disk images ready in %s" % self.args.work_dir)

        self.start_qemu(kernel)
        if self.guest.wait_ready(self.args.boot_timeout) is None:
            raise Skipped("the guest did not boot within %ds (console: %s)"
                          % (self.args.boot_timeout, " | ".join(self.guest.reader.lines[-12:])))
        log("guest ready")
        self.dmesg(only=BOOT_MESSAGES)
        disks, mtab = self.disks()
        for name in sorted(disks):
            d = disks[name]
            log("/sys/block/%s -> %s vendor=%s model=%s" % (name, d.get("link"), d.get("vendor"), d.get("model")))
        for line in mtab:
            log("/etc/mtab: " + line)

        # Phase 1: TRVMountd -m 2 -v, as the guest's init started it.
        self.output.wait_for(lambda l: l.startswith("@@DAEMON start"), 0, 10)
        self.require(self.daemon_running(), "the daemon runs in the guest")
        found, infos = self.paths(TRV_LINK, SV_LINK)
        self.check(found.get(TRV_LINK, {}).get("kind") == "absent" and
                   found.get(SV_LINK, {}).get("kind") == "absent" and infos == {},
                   "no links and an empty info directory without devices",
                   "found %s, info %r" % (found, infos))

        self.plug(foreign)
        name, disk, device, mount, mtab = self.wait_mounted(foreign)
        self.describe(foreign, name, disk, device, mount, mtab, hub=False)
        time.sleep(3)  # at least two of the daemon's passes
        self.check_quiet("a stick of another vendor, mounted at %s, gets no verbose line" % mount)
        found, infos = self.paths(TRV_LINK, SV_LINK)
        self.check(found.get(TRV_LINK, {}).get("kind") == "absent" and infos == {},
                   "a stick of another vendor gets no link and no info file",
                   "found %s, info %r" % (found, infos))
        self.dmesg()

        state_trv = self.connect(trv, False, TRV_LINK, {})
        state_sv = self.connect(silvenmar, True, SV_LINK,
                                {state_trv["info_name"]: state_trv["info"]})
        found, _infos = self.paths(TRV_LINK)
        self.check(found.get(TRV_LINK, {}).get("value") == state_trv["mount"],
                   "the TRV link is untouched by the Silvenmar stick")

        self.disconnect(trv, state_trv, TRV_LINK, False, {state_sv["info_name"]: state_sv["info"]})
        found, _infos = self.paths(SV_LINK)
        self.check(found.get(SV_LINK, {}).get("value") == state_sv["mount"],
                   "the Silvenmar link is untouched by the TRV stick's unplug")
        self.disconnect(silvenmar, state_sv, SV_LINK, False, {})
        self.check_quiet("nothing more from the daemon in phase 1")
        self.require(self.daemon_running(), "the daemon still runs after phase 1")

        # Phase 2: the same with -k, keeping the links on placeholders.
        self.guest.run("/test/daemonctl.sh stop")
        self.output.poll()
        self.daemon_seen = len(self.output.lines)
        self.guest.run("/test/daemonctl.sh start -m 2 -v -k")
        deadline = time.monotonic() + 15
        while True:
            found, infos = self.paths(TRV_LINK, SV_LINK, TRV_LINK + PLACEHOLDER, SV_LINK + PLACEHOLDER)
            if found.get(SV_LINK, {}).get("kind") == "symlink" or time.monotonic() > deadline:
                break
            time.sleep(0.5)
        self.check_placeholder(found, TRV_LINK, "-k at start:")
        self.check_placeholder(found, SV_LINK, "-k at start:")
        self.check(infos == {}, "-k at start: the info directory is empty", "found %r" % infos)

        state_trv = self.connect(trv, False, TRV_LINK, {})
        log("the replugged TRV stick has devnum %s" % self.bracketed(state_trv["disk"]["usb"]["devnum"]))
        state_sv = self.connect(silvenmar, True, SV_LINK,
                                {state_trv["info_name"]: state_trv["info"]})
        self.disconnect(trv, state_trv, TRV_LINK, True, {state_sv["info_name"]: state_sv["info"]})
        self.disconnect(silvenmar, state_sv, SV_LINK, True, {})
        time.sleep(2)
        self.check_quiet("nothing more from the daemon in phase 2")
        self.require(self.daemon_running(), "the daemon still runs after phase 2")

        self.both_on_one_device_number(trv, silvenmar)

        self.output.poll()
        sanitizer = [l for l in self.output.lines if "Sanitizer" in l or "runtime error:" in l]
        self.check(not sanitizer, "no sanitizer reports from the daemon", " | ".join(sanitizer[:5]))
        self.dmesg()


    def both_on_one_device_number(self, trv, silvenmar):
        """Phase 3: with -d, a stick at a root port and one behind the hub share a
        USB device number on their two buses: both are linked, each with its
        own info file."""
        self.guest.run("/test/daemonctl.sh stop")
        self.output.poll()
        self.daemon_seen = len(self.output.lines)
        self.guest.run("/test/daemonctl.sh start -m 2 -v -d")
        self.plug(trv)
        self.plug(silvenmar)
        # Numbers are handed out in turn per bus: replugging the stick with the
        # lower number brings it up to the other's.
        for _attempt in range(8):
            states = {}
            for stick in (trv, silvenmar):
                name, disk, device, mount, _mtab = self.wait_mounted(stick)
                states[stick.ident] = (name, disk, device, mount)
            numbers = {ident: atoi(self.bracketed(state[1]["usb"]["devnum"])) for ident, state in states.items()}
            log("-d: devnum %d on bus %s (TRV), %d on bus %s (Silvenmar)"
                % (numbers["trv"], self.bracketed(states["trv"][1]["usb"].get("busnum", "[?]")),
                   numbers["silvenmar"], self.bracketed(states["silvenmar"][1]["usb"].get("busnum", "[?]"))))
            if numbers["trv"] == numbers["silvenmar"]:
                break
            lower = trv if numbers["trv"] < numbers["silvenmar"] else silvenmar
            self.unplug(lower)
            self.plug(lower)
        else:
            raise Skipped("the two sticks never shared a USB device number")
        time.sleep(3)  # at least two of the daemon's passes
        expected = {}
        for stick, link_path in ((trv, TRV_LINK), (silvenmar, SV_LINK)):
            _name, disk, device, mount = states[stick.ident]
            number, text, info = self.expected_record(stick, disk, mount, link_path, real_ids=True)
            expected[".VKT_%s_%d" % (device, number)] = info
            found, _infos = self.paths(link_path)
            self.check(found.get(link_path, {}).get("value") == mount,
                       "-d: %s links to %s although the other stick has the same number" % (link_path, mount),
                       "found %s" % found.get(link_path))
            self.output.poll()
            self.check(("Connected: " + text) in self.output.lines[self.daemon_seen:],
                       "-d: the %s stick's \"Connected: \" line shows USB device number %d" % (stick.ident, number))
        _found, infos = self.paths(TRV_LINK)
        self.check(infos == expected, "-d: both sticks have their info files",
                   "found %r, expected %r" % (infos, expected))
        self.require(self.daemon_running(), "the daemon still runs after phase 3")


def default_cache_dir(work_dir):
    env = os.environ.get("TRV_REALKERNEL_CACHE")
    if env:
        return env
    system = "/var/cache/trvmountd-realkernel"
    try:
        os.makedirs(system, exist_ok=True)
        if os.access(system, os.W_OK):
            return system
    except OSError:
        pass
    return os.path.join(os.path.dirname(os.path.abspath(work_dir)), "kernel-cache")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--daemon", required=True, help="the TRVMountd binary to test")
    parser.add_argument("--work-dir", required=True, help="images, initramfs and logs of this run")
    parser.add_argument("--cache-dir", help="where the kernel package is kept between runs")
    parser.add_argument("--boot-timeout", type=int, default=120)
    parser.add_argument("--budget", type=float, default=BUDGET[0],
                        help="seconds the whole run may take before it skips itself")
    args = parser.parse_args()
    args.work_dir = os.path.abspath(args.work_dir)
    args.daemon = os.path.abspath(args.daemon)
    BUDGET[0] = args.budget
    if not args.cache_dir:
        args.cache_dir = default_cache_dir(args.work_dir)

    # Ended from outside: still stop QEMU on the way out.
    signal.signal(signal.SIGTERM, lambda _sig, _frame: sys.exit(143))
    test = Test(args)
    status = 0
    try:
        test.scenario()
    except Skipped as e:
        print("SKIPPED: %s" % e, flush=True)
        status = SKIP
    except Failed:
        status = 1
    finally:
        test.stop_qemu()
    if status != SKIP:
        log("logs: %s/{guest-console.log,daemon-output.log,qemu.log}" % args.work_dir)
        if test.failures:
            status = 1
            log("%d checks failed:" % len(test.failures))
            for failure in test.failures:
                log("  " + failure)
        log("%d checks passed, %d failed, in %.0fs" % (test.passes, len(test.failures),
                                                     time.monotonic() - START))
    return status


if __name__ == "__main__":
    sys.exit(main())
