"""A Tango site of its own, on this machine's loopback, for tests and trials.

MariaDB with Debian's tango-db schema, the Tango database server (DataBaseds), motor-panel-tango
registered with tango_admin and started as a site starts it, with TANGO_HOST and its instance name:

    with TangoSite(folder, server, "lab", {"lab/motor-panel/a": "A", "lab/motor-panel/b": "B"},
                   {"AutomationPort": "5025"}) as site:
        os.environ["TANGO_HOST"] = site.tango_host
        tango.DeviceProxy("lab/motor-panel/a")

Everything lives in `folder`, wiped at the start (a killed earlier run leaves nothing that counts)
and removed at the end. The processes end with the block, an exception, Ctrl-C or SIGTERM, and die
with this one when it is killed. Their output is kept and shown when the block fails.
"""
import ctypes
import getpass
import os
import shutil
import signal
import socket
import subprocess
import sys
import threading
import time

import tango

SCHEMA = "/usr/share/dbconfig-common/data/tango-db/install/mysql"  # Debian's tango-db
DATABASEDS = "/usr/lib/tango/DataBaseds"
READY = b"Ready to accept request"
START_TIMEOUT = 60.0  # a sanitizer build of the server is slow to start
STOP_TIMEOUT = 15.0

_libc = ctypes.CDLL(None, use_errno=True)
_PR_SET_PDEATHSIG = 1


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


# The children die with the thread that starts them (PR_SET_PDEATHSIG): start the site from the
# main thread, or from one that lives as long as the site.
def _die_with(parent):
    def in_child():
        _libc.prctl(_PR_SET_PDEATHSIG, signal.SIGKILL)
        if os.getppid() != parent:  # gone before the line above
            os._exit(1)

    return in_child


def _terminated(signum, frame):
    raise SystemExit(128 + signum)


class SiteError(RuntimeError):
    pass


class TangoSite:
    def __init__(self, folder, server, instance, devices, class_properties,
                 server_class="MotorPanelAxis", server_args=()):
        self.folder = os.path.abspath(folder)
        self.server = server
        self.instance = instance
        self.devices = dict(devices)  # name -> Channel
        self.class_properties = dict(class_properties)
        self.server_class = server_class
        self.server_args = list(server_args)
        self.tango_host = None
        self.children = []  # (name, Popen, log path), in start order
        self.exit_codes = {}
        self.started_in = None  # seconds from the start to the server's "Ready"
        self.output = {}  # each child's output, kept when the folder is gone

    # The names of the devices, in the order given.
    def names(self):
        return list(self.devices)

    def __enter__(self):
        self._signals = {}
        if threading.current_thread() is threading.main_thread():
            self._signals[signal.SIGTERM] = signal.signal(signal.SIGTERM, _terminated)
        begin = time.monotonic()
        try:
            self._start()
        except BaseException:
            self._stop(failed=True)
            raise
        self.started_in = time.monotonic() - begin
        return self

    def __exit__(self, kind, value, trace):
        self._stop(failed=kind is not None)
        return False

    def logs(self):
        return {name: _read(log) for name, _, log in self.children}

    def _start(self):
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(self.folder)
        data = os.path.join(self.folder, "mysql")
        sock = os.path.join(self.folder, "mysql.sock")
        user = getpass.getuser()
        mysql_port, tango_port = free_port(), free_port()
        while tango_port == mysql_port:
            tango_port = free_port()
        password = os.urandom(12).hex()

        self._run(["mariadb-install-db", "--no-defaults", f"--datadir={data}", f"--user={user}",
                   "--auth-root-authentication-method=socket", "--skip-test-db"])
        self._spawn("mariadbd", ["mariadbd", "--no-defaults", f"--datadir={data}", f"--user={user}",
                                 f"--socket={sock}", f"--port={mysql_port}", "--bind-address=127.0.0.1",
                                 "--skip-name-resolve", "--innodb-buffer-pool-size=16M"])
        self._wait("mariadbd", lambda: _accepts(sock))
        sql = ["mariadb", "--no-defaults", f"--socket={sock}", f"-u{user}"]
        self._run(sql + ["-e", "CREATE DATABASE tango; "
                         f"CREATE USER 'tango'@'127.0.0.1' IDENTIFIED BY '{password}'; "
                         "GRANT ALL ON tango.* TO 'tango'@'127.0.0.1';"])
        with open(SCHEMA, "rb") as schema:
            self._run(sql + ["tango"], stdin=schema)

        self.tango_host = f"127.0.0.1:{tango_port}"
        env = {"TANGO_HOST": self.tango_host}
        self._spawn("DataBaseds", [DATABASEDS, "2", "-ORBendPoint", f"giop:tcp:127.0.0.1:{tango_port}"],
                    dict(env, MYSQL_USER="tango", MYSQL_PASSWORD=password, MYSQL_HOST=f"127.0.0.1:{mysql_port}"))
        self._wait("DataBaseds", lambda: READY in _read_bytes(self.children[-1][2]))

        name = os.path.basename(self.server)
        self._run(["tango_admin", "--add-server", f"{name}/{self.instance}", self.server_class,
                   ",".join(self.devices)], env)
        for device, channel in self.devices.items():
            self._run(["tango_admin", "--add-property", device, "Channel", channel], env)
        database = tango.Database("127.0.0.1", tango_port)
        database.put_class_property(self.server_class, {k: [str(v)] for k, v in self.class_properties.items()})

        self._spawn(name, [self.server, self.instance] + self.server_args, env)
        self._wait(name, lambda: READY in _read_bytes(self.children[-1][2]))

    def _spawn(self, name, command, env=None):
        log = os.path.join(self.folder, f"{name}.log")
        with open(log, "wb") as out:
            process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                                       env=dict(os.environ, **(env or {})), preexec_fn=_die_with(os.getpid()))
        self.children.append((name, process, log))

    def _run(self, command, env=None, stdin=subprocess.DEVNULL):
        done = subprocess.run(command, stdin=stdin, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              env=dict(os.environ, **(env or {})), preexec_fn=_die_with(os.getpid()),
                              timeout=START_TIMEOUT)
        if done.returncode != 0:
            raise SiteError(f"{' '.join(command)} ended {done.returncode}:\n{done.stdout.decode(errors='replace')}")

    def _wait(self, name, ready):
        process = self.children[-1][1]
        end = time.monotonic() + START_TIMEOUT
        while not ready():
            if process.poll() is not None:
                raise SiteError(f"{name} ended {process.returncode} before it was ready")
            if time.monotonic() > end:
                raise SiteError(f"{name} not ready after {START_TIMEOUT:.0f} s")
            time.sleep(0.05)

    def _stop(self, failed):
        # Stopped from here on, whatever comes: a second Ctrl-C or SIGTERM waits for the end.
        for signum in (signal.SIGTERM, signal.SIGINT):
            if threading.current_thread() is threading.main_thread():
                self._signals.setdefault(signum, signal.signal(signum, signal.SIG_IGN))
        try:
            for name, process, _ in reversed(self.children):  # the server first, the database last
                process.terminate()
                try:
                    process.wait(STOP_TIMEOUT)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
                self.exit_codes[name] = process.returncode
            self.output = self.logs()
        finally:
            shutil.rmtree(self.folder, ignore_errors=True)
            for signum, handler in self._signals.items():
                signal.signal(signum, handler)
        if failed:
            try:  # whoever reads it may be gone: a killed parent
                for name, text in self.output.items():
                    sys.stderr.write(f"--- {name} (ended {self.exit_codes.get(name)}):\n{text[-6000:]}\n")
                sys.stderr.flush()
            except OSError:
                pass


def _read_bytes(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return b""


def _read(path):
    return _read_bytes(path).decode(errors="replace")


def _accepts(path):
    with socket.socket(socket.AF_UNIX) as s:
        try:
            s.connect(path)
            return True
        except OSError:
            return False
