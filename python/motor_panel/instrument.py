"""MotorPanel: a pymeasure instrument for a running motor panel, through its automation port.

The panel drives the controller; this instrument talks SCPI to the panel's port on this machine
(PyVISA's SOCKET resource, PyVISA-py backend) and reports what the port reports: a move that was
stopped, ran into a limit or failed raises MotorError with the axis's own reason.
"""
import collections
import math
import os
import stat
from collections import namedtuple

import pyvisa
from pymeasure.instruments import Instrument
from pymeasure.instruments.validators import strict_discrete_set

# How many move outcomes query() keeps for check_errors() when nobody reads them.
MOVE_OUTCOMES_KEPT = 100

# Positions, distances and counter values the controller takes, in either dialect.
VALUE_LIMIT = 9_999_999
# The longest wait WAIT? takes, in seconds; it counts in milliseconds.
WAIT_LIMIT = 3600
WAIT_STEP = 0.001

Units = namedtuple("Units", "pulses_per_unit name")


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


def finite(value, what):
    """`value` as a finite float; ValueError for anything else, a bool included (True is no
    number of anything here, however Python counts it)."""
    try:
        if isinstance(value, bool):
            raise TypeError
        number = float(value)
    except (TypeError, ValueError):
        raise ValueError(f"{value!r} is not a number of {what}") from None
    if not math.isfinite(number):
        raise ValueError(f"{value!r} is not a finite number of {what}")
    return number


def whole_steps(value, values=()):
    """A validator: a whole number of steps within the controller's limit, as an int."""
    steps = finite(value, "steps")
    if steps != int(steps):
        raise ValueError(f"{value!r} is not a whole number of steps")
    if abs(steps) > VALUE_LIMIT:
        raise ValueError(f"{value!r} is beyond the controller's limit of {VALUE_LIMIT} steps")
    return int(steps)


def wait_seconds(value):
    """A validator: a time WAIT? takes, from a millisecond to an hour, as a float."""
    seconds = finite(value, "seconds")
    if not WAIT_STEP <= seconds <= WAIT_LIMIT:
        raise ValueError(f"a wait of {value!r} s: the panel waits {WAIT_STEP} to {WAIT_LIMIT} s")
    return seconds


def unquoted(text):
    """A string the port quoted, a quote in it doubled, as it was."""
    text = text.strip()
    if len(text) < 2 or text[0] != '"' or text[-1] != '"':
        raise PanelError(f"a quoted string expected, not {text!r}")
    return text[1:-1].replace('""', '"')


# A plain Exception, also where an OSError or a VISA error lies beneath (it is the __cause__): a
# script catches PanelError for whatever keeps the panel from doing what it asked, and a refused
# command is no I/O error that an `except OSError` around the script's own files should take.
class PanelError(Exception):
    """The panel refused a command (the message is its error queue's entry), has no session, or
    cannot be reached."""


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

    def ask(self, command, answers=1):
        return self.panel.query(self._line(command), answers)

    def write(self, command):
        self.panel.command(self._line(command))

    @property
    def position(self):
        """The position counter in steps. Setting it moves the channel there and returns when the
        move has ended DONE; MotorError otherwise. PanelError without a session: the panel then
        knows no position."""
        # In one line, so the position read is of the session CONN? saw.
        connected, text = self.ask("CONN?;POS? {ch}", answers=2)
        if connected != "1":
            raise PanelError(f"axis {self.letter}: no session: the panel has no controller")
        try:
            return int(text)
        except ValueError:
            raise PanelError(f"axis {self.letter}: no position known ({text!r})") from None

    @position.setter
    def position(self, target):
        self.move_to(target)

    @property
    def units(self):
        """The operator's scale for the channel, (pulses_per_unit, name): (400.0, 'µm');
        (0.0, '') when none is set."""
        pulses, _, name = self.ask("UNIT? {ch}").partition(",")
        return Units(float(pulses), unquoted(name))

    @property
    def user_position(self):
        """The position in the operator's unit (a float); setting it moves to the nearest whole
        step, as `position` does. PanelError when the channel has no unit."""
        return self.position / self._unit().pulses_per_unit

    @user_position.setter
    def user_position(self, value):
        unit = self._unit()
        # Halves away from zero, as the Tango server rounds: both clients land on the same step.
        steps = finite(value, unit.name) * unit.pulses_per_unit
        self.move_to(int(math.copysign(math.floor(abs(steps) + 0.5), steps)))

    def _unit(self):
        unit = self.units
        if not unit.pulses_per_unit:
            raise PanelError(f"axis {self.letter}: no unit set (the chart's Units dialog sets one)")
        return unit

    def move_to(self, position, wait=True, timeout=60):
        """An absolute move; waits for its outcome unless wait is False."""
        self._move("MOVE:ABS", position, wait, timeout)

    def move_relative(self, steps, wait=True, timeout=60):
        """A relative move by whole steps; waits for its outcome unless wait is False."""
        self._move("MOVE:REL", steps, wait, timeout)

    def _move(self, header, value, wait, timeout):
        steps, timeout = whole_steps(value), wait_seconds(timeout)  # both before anything moves
        self.write(f"{header} {{ch}},{steps}")
        if wait:
            self.wait_for_stop(timeout)

    def wait_for_stop(self, timeout=60):
        """Blocks until the channel's move has ended. Returns on DONE; raises MotorError with the
        outcome (STOPPED, LIMIT, ERROR, or TIMEOUT after `timeout` seconds, 0.001 to 3600)
        otherwise, and the channel's own reason."""
        timeout = wait_seconds(timeout)
        outcome = self.panel.ask_waiting(self._line(f"WAIT? {{ch}},TIMEOUT={timeout:.3f}"), timeout)
        if outcome == "DONE":
            return
        # The channel's own reason, not the client's queue: that holds every axis's outcomes.
        detail = unquoted(self.ask("MOT:REAS? {ch}"))
        if outcome == "TIMEOUT":
            detail = detail or f"still moving after {timeout:g} s"
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

    def __init__(self, adapter="TCPIP0::127.0.0.1::5025::SOCKET", token_file=None, **kwargs):
        encoding = kwargs.pop("encoding", "utf-8")  # unit names ("µm"); pymeasure 0.9 drops it
        kwargs.setdefault("visa_library", "@py")
        kwargs.setdefault("read_termination", "\n")
        kwargs.setdefault("write_termination", "\n")
        kwargs.setdefault("timeout", 10000)
        # Kept for check_errors(); the newest only, as the panel's queue keeps them.
        self.move_outcomes = collections.deque(maxlen=MOVE_OUTCOMES_KEPT)
        self._broken = None  # why the connection failed in the middle of a line
        parts = adapter.split("::") if isinstance(adapter, str) else []
        address = ":".join(parts[1:3]) if len(parts) >= 4 else str(adapter)
        try:
            super().__init__(adapter, "Motor panel", includeSCPI=True, **kwargs)
            if hasattr(self.adapter, "connection"):
                self.adapter.connection.encoding = encoding
            identity = self.ask("*IDN?")  # served before the token: is it the panel at all?
        except (OSError, pyvisa.errors.Error) as e:
            port = parts[2] if len(parts) >= 4 else "PORT"
            raise PanelError(f"no motor panel answers at {address} ({e}); start it with its "
                             f"automation port: motor-panel --automation {port}") from e
        if not identity.startswith("motor-panel,"):
            raise PanelError(f"{address} is no motor panel's automation port: *IDN? {identity!r}")
        path = token_file or default_token_file()
        try:
            with open(path) as f:
                token = f.read().strip()
        except OSError as e:
            raise PanelError(
                f"no token at {path} ({e.strerror}): a panel running with --automation writes it "
                f"to {default_token_file()} (or where --automation-token-file says)") from e
        # Not through command(): its message would carry the token.
        if self.ask(f'SYST:AUTH "{token}";SYST:ERR?') != '0,"No error"':
            raise PanelError(f"the panel refused the token in {path}")
        self.a, self.b, self.c, self.d = (Axis(letter, self) for letter in "ABCD")

    @property
    def speed(self):
        """The speed class, H, M or L: one for the whole controller."""
        return self.query("SPE?")

    @speed.setter
    def speed(self, value):
        self.command(f"SPEED {strict_discrete_set(value, ('H', 'M', 'L'))}")

    def command(self, line):
        """Sends a command and raises PanelError with the panel's reason when it is refused."""
        self.query(line, answers=0)

    def query(self, line, answers=1):
        """Sends a line of `answers` queries and returns their answer (a list unless one);
        PanelError when the panel refused any of it, or when the connection failed on the way."""
        if self._broken is not None:
            raise PanelError(f"{line}: not sent, the connection to the panel failed before "
                             f"({self._broken}); make a new MotorPanel")
        try:
            return self._query(line, answers)
        except (OSError, UnicodeDecodeError, pyvisa.errors.Error) as e:
            # Answers may still be on their way: any later read would take one of them for its
            # own. Nothing more is read on this connection.
            self._broken = e
            raise PanelError(f"{line}: the connection to the panel failed ({e})") from e

    def _query(self, line, answers):
        self.write(f"{line};SYST:ERR?")
        replies = [self.read() for _ in range(answers)]
        # The error queue is the connection's, one for every axis, and this line's result is its
        # newest entry. Ahead of it may stand -300 entries: moves (of any axis) that ended other
        # than DONE. Those are no refusal of this line: they are kept in move_outcomes, for
        # check_errors(), and an axis's own reason is read with MOT:REAS?. Every other code
        # (-1xx, -2xx, -350) is a refusal, and since every line sent here reads its result, one
        # in the queue is this line's (or of one sent with write() that nobody read).
        refusals = []
        entry = self.read()
        while not entry.startswith("0,"):
            (self.move_outcomes if entry.startswith("-300,") else refusals).append(entry)
            entry = self.ask("SYST:ERR?")
        if refusals:
            raise PanelError(f"{line}: {'; '.join(refusals)}")
        return replies[0] if answers == 1 else replies

    def values(self, command, separator=",", cast=float, **kwargs):
        """As pymeasure's, through query(): a refused query raises PanelError."""
        results = self.query(command).strip().split(separator)
        for i, result in enumerate(results):
            try:
                results[i] = bool(float(result)) if cast is bool else cast(result)
            except ValueError:
                pass  # kept as text
        return results

    def ask_waiting(self, query, seconds):
        """A query that may take `seconds` to answer (WAIT?): the read waits that long and more."""
        connection = self.adapter.connection
        before = connection.timeout
        connection.timeout = (seconds + 5) * 1000
        try:
            return self.query(query)
        finally:
            connection.timeout = before

    def check_errors(self):
        """Reads the panel's error queue empty; raises PanelError with what was in it, the move
        outcomes kept by query() first."""
        errors = list(self.move_outcomes)
        self.move_outcomes.clear()
        while True:
            entry = self.ask("SYST:ERR?")
            if entry.startswith("0,"):
                break
            errors.append(entry)
        if errors:
            raise PanelError("; ".join(errors))
