"""MotorPanel: a pymeasure instrument for a running motor panel, through its automation port.

The panel drives the controller; this instrument talks SCPI to the panel's port on this machine
(PyVISA's SOCKET resource, PyVISA-py backend) and reports what the port reports: a move that was
stopped, ran into a limit or failed raises MotorError with the panel's own reason.
"""
import os
import stat

from pymeasure.instruments import Instrument
from pymeasure.instruments.validators import strict_discrete_set

# Positions, distances and counter values the controller takes, in either dialect.
VALUE_LIMIT = 9_999_999


def default_token_file():
    """Where the panel writes its token by default: $XDG_RUNTIME_DIR when that is a folder fit for
    it (the user's own, mode 700, not a link), else its own folder motor-panel-<uid> in $TMPDIR or
    /tmp."""
    uid = os.geteuid()
    runtime = os.environ.get("XDG_RUNTIME_DIR", "")
    try:
        st = os.lstat(runtime)
        fit = os.path.isabs(runtime) and stat.S_ISDIR(st.st_mode) and st.st_uid == uid
        fit = fit and stat.S_IMODE(st.st_mode) == 0o700
    except OSError:
        fit = False
    if not fit:
        runtime = os.path.join(os.environ.get("TMPDIR") or "/tmp", f"motor-panel-{uid}")
    return os.path.join(runtime, "motor-panel-automation.token")


def whole_steps(value, values=()):
    """A validator: a whole number of steps within the controller's limit, as an int."""
    try:
        steps = float(value)
    except (TypeError, ValueError):
        raise ValueError(f"{value!r} is not a number of steps") from None
    if steps != steps or steps in (float("inf"), float("-inf")) or steps != int(steps):
        raise ValueError(f"{value!r} is not a whole number of steps")
    if abs(steps) > VALUE_LIMIT:
        raise ValueError(f"{value!r} is beyond the controller's limit of {VALUE_LIMIT} steps")
    return int(steps)


class PanelError(Exception):
    """The panel refused a command; the message is its error queue's entry."""


class MotorError(Exception):
    """A move ended other than DONE.

    outcome: STOPPED, LIMIT, ERROR or TIMEOUT; detail: the panel's reason (where the channel
    ended, its target and why).
    """

    def __init__(self, axis, outcome, detail):
        super().__init__(f"axis {axis}: {outcome}: {detail}")
        self.axis = axis
        self.outcome = outcome
        self.detail = detail


class Axis:
    """One channel of the controller, A to D. Its commands carry the channel's letter."""

    motion = Instrument.measurement(
        "MOT? {ch}",
        """The channel's current or last move: NONE, MOVING, DONE, STOPPED, LIMIT or ERROR.""",
    )
    limits = Instrument.measurement(
        "STAT? {ch}",
        """The switches as a dict: cw, ccw (the limit switches) and home.""",
        get_process=lambda v: {"cw": bool(v[1]), "ccw": bool(v[2]), "home": bool(v[3])},
    )
    busy = Instrument.measurement(
        "STAT? {ch}",
        """True while the controller reports the channel running (USB models only).""",
        get_process=lambda v: bool(v[0]),
    )
    hold_off = Instrument.control(
        "STAT? {ch}", "HOLD {ch},%s",
        """True while the channel is held off; set it to hold the channel off (which stops it)
        or to release it.""",
        get_process=lambda v: bool(v[4]),
        set_process=lambda v: "ON" if v else "OFF",
    )

    def __init__(self, letter, panel):
        self.letter = letter
        self.panel = panel

    def _line(self, command):
        return command.replace("{ch}", self.letter)

    def values(self, command, **kwargs):
        return self.panel.values(self._line(command), **kwargs)

    def ask(self, command):
        return self.panel.ask(self._line(command))

    def write(self, command):
        self.panel.command(self._line(command))

    @property
    def position(self):
        """The position counter in steps. Setting it moves the channel there and returns when the
        move has ended DONE; MotorError otherwise."""
        text = self.ask("POS? {ch}")
        try:
            return int(text)
        except ValueError:
            raise PanelError(f"axis {self.letter}: no position known ({text!r})") from None

    @position.setter
    def position(self, target):
        self.move_to(target)

    def move_to(self, position, wait=True, timeout=60):
        """An absolute move; waits for its outcome unless wait is False."""
        self.write(f"MOVE:ABS {{ch}},{whole_steps(position)}")
        if wait:
            self.wait_for_stop(timeout)

    def move_relative(self, steps, wait=True, timeout=60):
        """A relative move by whole steps; waits for its outcome unless wait is False."""
        self.write(f"MOVE:REL {{ch}},{whole_steps(steps)}")
        if wait:
            self.wait_for_stop(timeout)

    def wait_for_stop(self, timeout=60):
        """Blocks until the channel's move has ended. Returns on DONE; raises MotorError with the
        outcome (STOPPED, LIMIT, ERROR, or TIMEOUT after `timeout` seconds) otherwise."""
        outcome = self.panel.ask_waiting(self._line(f"WAIT? {{ch}},TIMEOUT={timeout:g}"), timeout)
        if outcome == "DONE":
            return
        detail = self.panel.ask("SYST:ERR?")
        raise MotorError(self.letter, outcome, detail)

    def stop(self):
        """Stops the channel at once."""
        self.write("STOP {ch}")

    def home(self, direction=1):
        """A home search: +1 clockwise, -1 counter-clockwise. Does not wait."""
        direction = strict_discrete_set(direction, (1, -1))
        self.write("HOME {ch}," + ("+" if direction > 0 else "-"))

    def define_position(self, value):
        """Sets the position counter to `value` (a preset); the channel does not move."""
        self.write(f"PRES {{ch}},{whole_steps(value)}")
        self.wait_for_stop()


class MotorPanel(Instrument):
    """A running motor panel, reached through its automation port.

    adapter: a VISA resource (default the panel's port on this machine) or a pymeasure adapter.
    token_file: where the panel wrote its token (default its runtime folder); given on
    construction, so the other commands are served.
    """

    connected = Instrument.measurement(
        "CONN?", """True while the panel has a session with a controller.""",
        get_process=bool,
    )
    model = Instrument.measurement(
        "MOD?", """The identified model: KELDA-01, RUNEL-01, VASKO-01, or NONE.""",
    )
    channels = Instrument.measurement(
        "CHAN?", """The identified model's number of channels (0 before one).""",
        get_process=int,
    )
    speed = Instrument.control(
        "SPE?", "SPEED %s",
        """The speed class, H, M or L: one for the whole controller.""",
        validator=strict_discrete_set, values=("H", "M", "L"),
    )

    def __init__(self, adapter="TCPIP0::127.0.0.1::5025::SOCKET", token_file=None, **kwargs):
        kwargs.setdefault("visa_library", "@py")
        kwargs.setdefault("read_termination", "\n")
        kwargs.setdefault("write_termination", "\n")
        kwargs.setdefault("timeout", 10000)
        super().__init__(adapter, "Motor panel", includeSCPI=True, **kwargs)
        path = token_file or default_token_file()
        with open(path) as f:
            token = f.read().strip()
        if self.ask(f'SYST:AUTH "{token}";SYST:ERR?') != '0,"No error"':
            raise PanelError(f"the panel refused the token in {path}")
        self.a, self.b, self.c, self.d = (Axis(letter, self) for letter in "ABCD")

    def command(self, line):
        """Sends a command and raises PanelError with the panel's reason when it is refused."""
        answer = self.ask(f"*CLS;{line};SYST:ERR?")
        if not answer.startswith("0,"):
            raise PanelError(f"{line}: {answer}")

    def ask_waiting(self, query, seconds):
        """A query that may take `seconds` to answer (WAIT?): the read waits that long and more."""
        connection = self.adapter.connection
        before = connection.timeout
        connection.timeout = (seconds + 5) * 1000
        try:
            return self.ask(query)
        finally:
            connection.timeout = before

    def check_errors(self):
        """Reads the panel's error queue empty; raises PanelError with what was in it."""
        errors = []
        while True:
            entry = self.ask("SYST:ERR?")
            if entry.startswith("0,"):
                break
            errors.append(entry)
        if errors:
            raise PanelError("; ".join(errors))
