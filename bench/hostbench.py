"""A real headless mail host with the add-in on a generated task list, for
the measuring scripts under bench/: a private HOME, a loopback SMTP server
(tests/support/smtp_server.py), an account, the add-in registered, a
template and the tasks imported through the command line tool.
"""
import datetime
import json
import os
import shutil
import signal
import subprocess
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
DATA_SUBDIR = "data/Tarnwick Software/Mail Host/Quillory"
TEMPLATE = """To: Rita Receiver <rita@example.com>
Subject: {subject}
MIME-Version: 1.0
Content-Type: text/plain; charset=UTF-8

A scheduled message, {subject}.
"""


def build_dir():
    return os.environ.get("QUILLORY_BUILD", os.path.join(SOURCE, "build"))


def program(rel):
    path = os.path.join(build_dir(), rel)
    if not os.access(path, os.X_OK) and not rel.endswith(".so"):
        raise SystemExit("missing %s: build the mailhost, quilsend and quillory targets" % path)
    return path


def find_module():
    for root, _dirs, files in os.walk(build_dir()):
        for name in files:
            if name.startswith("libquilsend") or name == "quilsend.so":
                return os.path.join(root, name)
    raise SystemExit("the add-in module is not built (target quilsend)")


def group(dt):
    """A date-time group as the task JSON spells it (1 = Sunday)."""
    return {"year": dt.year, "month": dt.month, "day": dt.day, "dayOfWeek": dt.isoweekday() % 7 + 1,
            "hour": dt.hour, "minute": dt.minute, "second": 0}


def task(name, template, recurrence, when):
    return {"active": True, "taskName": name, "templateFile": template, "sendOverdue": True,
            "start": group(when), "recurrence": recurrence, "minuteInterval": 5, "dailyMode": 0,
            "dailyInterval": 1, "endKind": 0, "nextSending": group(when)}


class Host:
    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="quillory-bench-")
        self.env = dict(os.environ)
        self.env.update({"HOME": self.dir, "XDG_DATA_HOME": os.path.join(self.dir, "data"),
                         "XDG_CONFIG_HOME": os.path.join(self.dir, "config"),
                         "MAILHOST_REGISTRY": os.path.join(self.dir, "registry.reg"),
                         "QUILLORY_CODEPAGE": "UTF-8", "QT_QPA_PLATFORM": "offscreen"})
        for key in ("MAILHOST_PROFILE", "MAILHOST_ACCOUNTS"):
            self.env.pop(key, None)
        self.data = os.path.join(self.dir, DATA_SUBDIR)
        self.smtp_out = os.path.join(self.dir, "smtp")
        for d in (self.data, self.smtp_out, os.path.join(self.dir, "config/mailhost")):
            os.makedirs(d, exist_ok=True)
        self.server = None
        self.host = None
        self.tracer = None
        self.log = os.path.join(self.dir, "host.log")

    def start_server(self):
        self.server = subprocess.Popen(
            ["/usr/bin/python3", os.path.join(SOURCE, "tests/support/smtp_server.py"), "--out", self.smtp_out],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        port = int(self.server.stdout.readline())
        with open(os.path.join(self.dir, "config/mailhost/accounts.ini"), "w", encoding="utf-8") as f:
            f.write("[Account]\nName = Bench\nAddress = sender@example.org\n"
                    "SmtpUrl = smtp://127.0.0.1:%d\nSecurity = none\n" % port)

    def register(self):
        subprocess.run([program("platform/mailhost/mailhost"), "--register", find_module()], env=self.env,
                       check=True, stdout=subprocess.DEVNULL)

    def template(self, name, subject):
        path = os.path.join(self.data, name + ".oft")
        with open(path, "w", encoding="utf-8") as f:
            f.write(TEMPLATE.format(subject=subject))
        return path

    def import_tasks(self, tasks):
        path = os.path.join(self.dir, "tasks.json")
        with open(path, "w", encoding="utf-8") as f:
            json.dump(tasks, f)
        with open(path, encoding="utf-8") as f:
            subprocess.run([program("tools/cli/quillory"), "import"], stdin=f, env=self.env, check=True,
                           stdout=subprocess.DEVNULL)

    def start_host(self, timeout=120):
        with open(self.log, "w", encoding="utf-8") as log:
            self.host = subprocess.Popen([program("platform/mailhost/mailhost"), "--headless"], env=self.env,
                                         stdout=log, stderr=subprocess.STDOUT)
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            with open(self.log, encoding="utf-8", errors="replace") as f:
                if " connected" in f.read():
                    return
            if self.host.poll() is not None:
                break
            time.sleep(0.05)
        raise SystemExit("the host did not connect the add-in:\n" + open(self.log, encoding="utf-8").read())

    def trace_calls(self):
        """With QUILLORY_BENCH_STRACE=<file>: counts the host's system calls
        from now on until close(), into that file; QUILLORY_BENCH_STRACE_ARGS
        replaces strace's "-c" (e.g. "-y -tt" for the calls one by one)."""
        out = os.environ.get("QUILLORY_BENCH_STRACE")
        if not out:
            return
        args = os.environ.get("QUILLORY_BENCH_STRACE_ARGS", "-c").split()
        calls = "trace=fsync,fdatasync,openat,getdents64,rename,link,unlink"
        self.tracer = subprocess.Popen(["strace", "-f", *args, "-o", out, "-e", calls, "-p", str(self.host.pid)],
                                       stderr=subprocess.DEVNULL)
        time.sleep(1)  # attached to every thread before the measured minute

    def proc(self, name):
        """A field of /proc/<host>/status (kB for memory)."""
        with open("/proc/%d/status" % self.host.pid, encoding="utf-8") as f:
            for line in f:
                if line.startswith(name + ":"):
                    return int(line.split()[1])
        return 0

    def cpu_seconds(self):
        with open("/proc/%d/stat" % self.host.pid, encoding="utf-8") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")  # utime + stime

    def wait_idle(self, quiet=2.0, timeout=300):
        """Until the host used under 1% of a CPU over `quiet` seconds."""
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            before = self.cpu_seconds()
            time.sleep(quiet)
            if self.cpu_seconds() - before < quiet * 0.01:
                return
        raise SystemExit("the host never became idle")

    def received(self):
        """Delivered messages: (arrival time, subject)."""
        out = []
        for name in os.listdir(self.smtp_out):
            if not name.endswith(".eml"):
                continue
            path = os.path.join(self.smtp_out, name)
            with open(path, encoding="utf-8", errors="replace") as f:
                subject = next((l[9:].strip() for l in f if l.startswith("Subject: ")), "")
            out.append((os.stat(path).st_mtime, subject))
        return sorted(out)

    def close(self):
        if self.tracer:
            self.tracer.send_signal(signal.SIGINT)  # detaches and writes its summary
            self.tracer.wait(20)
        for p in (self.host, self.server):
            if p and p.poll() is None:
                p.terminate()
                try:
                    p.wait(20)
                except subprocess.TimeoutExpired:
                    p.kill()
        if not os.environ.get("QUILLORY_BENCH_KEEP"):
            shutil.rmtree(self.dir, ignore_errors=True)


DISK_LOAD = """
import os, sys, time
# Another developer's build on the shared disk: 8 MiB written and flushed,
# over and over, for at most the given seconds.
path, end = sys.argv[1], time.monotonic() + float(sys.argv[2])
data = os.urandom(8 << 20)
while time.monotonic() < end:
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
    os.write(fd, data)
    os.fsync(fd)
    os.close(fd)
os.unlink(path)
"""


class DiskLoad:
    """With QUILLORY_BENCH_DISK_LOAD=1: a writer that keeps the disk's
    flushes slow (as on the shared machine while others build), so that a
    figure does not depend on who else happens to be building."""

    def __init__(self, folder, seconds=180):
        self.proc = None
        if os.environ.get("QUILLORY_BENCH_DISK_LOAD") == "1":
            self.proc = subprocess.Popen(["/usr/bin/python3", "-c", DISK_LOAD, os.path.join(folder, "load"),
                                          str(seconds)])

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait(20)


def minute_start(t):
    return datetime.datetime.fromtimestamp(t - t % 60)
