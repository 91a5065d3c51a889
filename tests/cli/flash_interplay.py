#!/usr/bin/python3
"""trozflash-cli flash against what happens around it, end to end on the built-in virtual
drives with the real clock: signals mid-write, closed standard streams, a second writer, a
lock that cannot be made, two drives at once, a package swapped while the question is on
screen, endless input, and the login manager's inhibitor (a mock logind on a private system
bus). Run one case: flash_interplay.py CLI PACKAGE WORKDIR Class.test_name
"""
import fcntl
import hashlib
import json
import os
import pty
import re
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

import dbus
import dbusmock

CLI, DEMO_PACKAGE, WORK = sys.argv[1:4]
del sys.argv[1:4]

DELAYED = "The update goes on until it has finished."
NO_INHIBITOR = "Shutdown and sleep are not held off while the drive is written"
COMPLETE = "Ok:Flash Complete!!"
CHANGED = "Err:The firmware file changed during the update!!"
CHANGED_SINCE_OPEN = "Err:The firmware file changed after it was opened, open it again!!"
QUESTION = "Write this firmware? [y/N]"
LOGIND = "org.freedesktop.login1.Manager"
# One demo flash: a 2 s pause, the blocks, then about 4 s of programming.
FLASH_TIMEOUT = 40


class Run:
    """One trozflash-cli process, its output read as it comes."""

    def __init__(self, case_dir, *arguments, drive=0, stdin=subprocess.DEVNULL, bus=None,
                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, preexec_fn=None):
        env = dict(os.environ, TROZFLASH_DRIVES="virtual", XDG_STATE_HOME=case_dir)
        env["DBUS_SYSTEM_BUS_ADDRESS"] = bus or "unix:path=" + os.path.join(case_dir, "no-bus")
        command = [CLI, *arguments]
        if drive is not None:
            command += ["--drive", str(drive)]
        self.process = subprocess.Popen(command, env=env, stdin=stdin, stdout=stdout,
                                        stderr=stderr, preexec_fn=preexec_fn)
        self.out = b""
        self.err = b""

    def _read(self, timeout):
        streams = [s for s in (self.process.stdout, self.process.stderr)
                   if s is not None and not s.closed]
        if not streams:
            time.sleep(timeout)
            return []
        ready, _, _ = select.select(streams, [], [], timeout)
        for stream in ready:
            data = os.read(stream.fileno(), 65536)
            if not data:
                stream.close()
            elif stream is self.process.stdout:
                self.out += data
            else:
                self.err += data
        return ready

    def wait_for(self, text, stream="out", timeout=FLASH_TIMEOUT):
        deadline = time.monotonic() + timeout
        while text.encode() not in getattr(self, stream):
            if time.monotonic() > deadline or (not self._read(0.05) and self.process.poll() is not None):
                raise AssertionError(f"no '{text}' on std{stream}: {self.out!r} {self.err!r}")

    def wait_for_write_span(self, timeout=FLASH_TIMEOUT):
        """Until the drive is being written: the program catches SIGTERM only then."""
        term = 1 << (signal.SIGTERM - 1)
        deadline = time.monotonic() + timeout
        while True:
            with open(f"/proc/{self.process.pid}/status") as status:
                caught = next(l for l in status if l.startswith("SigCgt:")).split()[1]
            if int(caught, 16) & term:
                return
            if time.monotonic() > deadline or (not self._read(0.01) and self.process.poll() is not None):
                raise AssertionError(f"the write never began: {self.out!r} {self.err!r}")

    def finish(self):
        deadline = time.monotonic() + FLASH_TIMEOUT
        while self.process.poll() is None or any(
                s is not None and not s.closed for s in (self.process.stdout, self.process.stderr)):
            if time.monotonic() > deadline:
                self.process.kill()
                raise AssertionError("still running")
            self._read(0.05)
        return self.process.returncode, self.out.decode(errors="replace"), self.err.decode()


class Interplay(unittest.TestCase):
    def setUp(self):
        self.dir = os.path.join(WORK, self.id().rsplit(".", 1)[-1])
        subprocess.run(["rm", "-rf", self.dir], check=True)
        os.makedirs(self.dir)

    def revision(self, drive):
        listing = subprocess.run([CLI, "list"], capture_output=True, text=True, check=True,
                                 env=dict(os.environ, TROZFLASH_DRIVES="virtual",
                                          XDG_STATE_HOME=self.dir)).stdout
        line = next(l for l in listing.splitlines() if l.lstrip().startswith(str(drive) + " "))
        return re.search(r"(\d+\.\d+)\s+\(", line).group(1)

    def flash_with_signal(self, number, status):
        run = Run(self.dir, "flash", "--yes", "--no-restart", DEMO_PACKAGE)
        run.wait_for_write_span()
        run.process.send_signal(number)
        code, out, err = run.finish()
        self.assertEqual(code, status, out + err)
        self.assertIn(COMPLETE, out)
        self.assertIn(DELAYED, err)
        self.assertEqual(self.revision(0), "1.10")

    def test_term_mid_write_completes_then_exits_143(self):
        self.flash_with_signal(signal.SIGTERM, 143)

    def test_hup_mid_write_completes_then_exits_129(self):
        self.flash_with_signal(signal.SIGHUP, 129)

    def test_hup_under_nohup_is_ignored_and_said_to_be_no_end(self):
        run = Run(self.dir, "flash", "--yes", "--no-restart", DEMO_PACKAGE,
                  preexec_fn=lambda: signal.signal(signal.SIGHUP, signal.SIG_IGN))
        run.wait_for_write_span()
        run.process.send_signal(signal.SIGHUP)
        code, out, err = run.finish()
        # The program goes on as nohup asked: nothing may say it will end.
        self.assertEqual(code, 0, out + err)
        self.assertIn(COMPLETE, out)
        self.assertNotIn("ends", err)
        self.assertEqual(self.revision(0), "1.10")

    def test_usr1_mid_write_completes_then_exits_138(self):
        self.flash_with_signal(signal.SIGUSR1, 138)

    def test_kill_mid_write_is_an_interrupted_flash_until_a_reflash_completes(self):
        env = dict(os.environ, TROZFLASH_DRIVES="virtual", XDG_STATE_HOME=self.dir)
        run = Run(self.dir, "flash", "--yes", "--no-restart", DEMO_PACKAGE)
        run.wait_for_write_span()
        run.process.kill()
        run.finish()
        listing = subprocess.run([CLI, "list", "--json"], capture_output=True, text=True,
                                 env=env)
        self.assertRegex(listing.stderr, r"^Warning: the flash of .*kvw-a100a.tfs into drive 0 "
                         r"\(TROZ    KVW-A100A       , virtual:0\) begun \d{4}-\d\d-\d\dT"
                         r"\d\d:\d\d:\d\dZ was never completed; .*\(history --forget 1 "
                         r"stops this warning\)\.\n$")
        warned = json.loads(listing.stdout)["interrupted_flashes"]
        self.assertEqual([(w["number"], w["drive"]["device_node"]) for w in warned],
                         [(1, "virtual:0")])
        # The flash that writes the drive again says it first, then clears it.
        again = Run(self.dir, "flash", "--yes", "--no-restart", "--json", DEMO_PACKAGE)
        code, out, err = again.finish()
        self.assertEqual(code, 0, out + err)
        self.assertTrue(err.startswith("Warning: the flash of "), err)
        self.assertEqual(len(json.loads(out)["interrupted_flashes"]), 1)
        listing = subprocess.run([CLI, "list"], capture_output=True, text=True, env=env)
        self.assertEqual(listing.stderr, "")
        flashes = json.loads(subprocess.run([CLI, "history", "--json"], capture_output=True,
                                            text=True, env=env).stdout)["flashes"]
        self.assertEqual([f["state"] for f in flashes], ["interrupted", "completed"])
        written = flashes[1]
        # The killed flash may have got the drive to program already: its revision is
        # 1.00 or 1.10 now, and the same package goes in again either way.
        self.assertEqual((written["front_end"], written["revision_after"], written["outcome"]),
                         ("cli", "1.10", "written"))
        with open(DEMO_PACKAGE, "rb") as package:
            self.assertEqual(written["package"]["sha256"],
                             hashlib.sha256(package.read()).hexdigest())
        self.assertIn(COMPLETE, written["log"])

    def test_term_before_the_firmware_ends_at_once(self):
        run = Run(self.dir, "flash", "--yes", "--no-restart", DEMO_PACKAGE)
        run.wait_for("Flashing ..")  # the 2 s pause before the first block
        run.process.send_signal(signal.SIGTERM)
        code, out, err = run.finish()
        self.assertEqual(code, -signal.SIGTERM, out + err)
        self.assertEqual(self.revision(0), "1.00")

    def test_closed_stdout_is_no_flash_failure(self):
        run = Run(self.dir, "flash", "--yes", "--no-restart", DEMO_PACKAGE)
        run.wait_for("Flashing ..")
        run.process.stdout.close()
        code, _, err = run.finish()
        self.assertEqual(code, 0, err)
        self.assertEqual(self.revision(0), "1.10")

    def test_closed_standard_streams_reach_no_file_of_the_tool(self):
        for closed in (">&-", "2>&-"):
            state = os.path.join(self.dir, "stdout" if closed == ">&-" else "stderr")
            env = dict(os.environ, TROZFLASH_DRIVES="virtual", XDG_STATE_HOME=state,
                       DBUS_SYSTEM_BUS_ADDRESS="unix:path=" + os.path.join(self.dir, "no-bus"))
            code = subprocess.run(["bash", "-c", '"$0" "$@" ' + closed, CLI, "flash", "--yes",
                                   "--no-restart", "--drive", "0", DEMO_PACKAGE],
                                  env=env, capture_output=True,
                                  timeout=FLASH_TIMEOUT).returncode
            self.assertEqual(code, 0, closed)
            # Neither the lock file, the state file nor the history took the place of output
            # or error. The history holds the log, but only inside its JSON lines.
            for folder, _, names in os.walk(state):
                for name in names:
                    with open(os.path.join(folder, name), "rb") as written:
                        content = written.read()
                    if name == "flashes.jsonl":
                        for line in content.splitlines():
                            json.loads(line)
                        continue
                    for text in (b"Flashing", b"About to write", b"Ok:"):
                        self.assertNotIn(text, content, closed + " " + name)

    def test_second_writer_of_a_drive_is_refused_with_one_line(self):
        first = Run(self.dir, "flash", "--yes", "--no-restart", DEMO_PACKAGE)
        first.wait_for("Flashing ..")
        # The README's way back to the factory drives does not let a second writer in.
        shutil.rmtree(os.path.join(self.dir, "trozflash"), ignore_errors=True)
        code, out, err = Run(self.dir, "flash", "--yes", "--no-restart", DEMO_PACKAGE).finish()
        self.assertEqual((code, out), (1, ""))
        self.assertRegex(err, r"^Err:Drive 0 \(TROZ    KVW-A100A\s+1\.00, virtual:0\) is being "
                              r"written by another copy of TROZFlash[^\n]*\n$")
        code, out, err = first.finish()
        self.assertEqual(code, 0, out + err)

    def test_lock_that_cannot_be_made_writes_nothing(self):
        # A folder where the drive's lock file belongs: no lock, so no write.
        os.makedirs(os.path.join(self.dir, "trozflash-locks", "kvw-a100a.lock"))
        code, out, err = Run(self.dir, "flash", "--yes", "--no-restart", DEMO_PACKAGE).finish()
        self.assertEqual((code, out), (1, ""), err)
        self.assertRegex(err, r"^Err:Drive 0 \(TROZ    KVW-A100A\s+1\.00, virtual:0\) cannot be "
                              r"locked against other copies of TROZFlash, so nothing is "
                              r"written: [^\n]+\n$")
        self.assertEqual(self.revision(0), "1.00")

    def test_package_swapped_while_the_question_is_shown_is_not_written(self):
        # The plan names the demo firmware; another drive's firmware is renamed over the
        # file before the answer: what was approved is what would be written, or nothing.
        package = os.path.join(self.dir, "u.tfs")
        foreign = os.path.join(self.dir, "foreign.tfs")
        shutil.copyfile(DEMO_PACKAGE, package)
        subprocess.run([CLI, "pack", "-o", foreign, "--generate", "1", "--block-sizes",
                        "16384,16384,16384,16384", "--record-offset", "64", "--vendor", "ACME",
                        "--product", "CDRW-5200", "--revision", "6.66", "--model-code", "4131"],
                       check=True, capture_output=True)
        terminal, answer = pty.openpty()
        run = Run(self.dir, "flash", "--no-restart", package, stdin=answer)
        os.close(answer)
        run.wait_for(QUESTION, "err")
        shutil.copyfile(foreign, package + ".new")
        os.rename(package + ".new", package)
        os.write(terminal, b"y\n")
        code, out, err = run.finish()
        os.close(terminal)
        self.assertEqual((code, out), (1, CHANGED_SINCE_OPEN + "\n"), err)
        self.assertEqual(self.revision(0), "1.00")

    def test_endless_input_answers_the_restart_question_no(self):
        with open("/dev/zero", "rb") as zero:
            run = Run(self.dir, "flash", "--yes", DEMO_PACKAGE, stdin=zero)
            code, out, err = run.finish()
        self.assertEqual(code, 0, err)
        self.assertTrue(out.endswith("Reboot this computer right now ? [yes/No] \n"), out)

    def test_state_lock_held_elsewhere_is_waited_for_5_s_at_most(self):
        folder = os.path.join(self.dir, "trozflash")
        os.makedirs(folder)
        with open(os.path.join(folder, "virtual-drives.json.lock"), "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            begun = time.monotonic()
            code, out, err = Run(self.dir, "list", drive=None).finish()
            self.assertLess(time.monotonic() - begun, 5 + 2)
        self.assertEqual(code, 0, err)
        self.assertIn("KVW-A100A", out)
        self.assertRegex(err, r"^The virtual drives' state lock \S+ was not given up \(another "
                              r"process has held it for more than 5 s\); the state was read "
                              r"without it\n$")
        self.assertEqual(os.stat(lock.name).st_mode & 0o777, 0o600)

    def test_two_drives_are_written_at_once(self):
        b200 = os.path.join(self.dir, "kvw-b200a.tfs")
        subprocess.run([CLI, "pack", "-o", b200, "--generate", "1", "--block-sizes",
                        "16384,16384,16384,16384", "--record-offset", "64",
                        "--vendor", "TROZ", "--product", "KVW-B200A", "--revision", "2.10",
                        "--model-code", "5730"], check=True, capture_output=True)
        runs = [Run(self.dir, "flash", "--yes", "--no-restart", DEMO_PACKAGE, drive=0),
                Run(self.dir, "flash", "--yes", "--no-restart", b200, drive=1)]
        runs[0].wait_for("Flashing ..")
        runs[1].wait_for("Flashing ..")
        for run in runs:
            code, out, err = run.finish()
            self.assertEqual(code, 0, out + err)
            self.assertIn(COMPLETE, out)

    def test_silent_system_bus_holds_the_write_back_3_s_at_most(self):
        # A bus that lets the client connect and then never says a word, not even to
        # authenticate it.
        path = os.path.join(tempfile.mkdtemp(), "silent-bus")  # short enough for a socket
        listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        listener.bind(path)
        listener.listen(8)
        begun = time.monotonic()
        run = Run(self.dir, "flash", "--yes", "--no-restart", DEMO_PACKAGE, bus="unix:path=" + path)
        # Start asks for the inhibitor before anything is sent: the bus's 3 s, and no more.
        run.wait_for(NO_INHIBITOR, "err")
        self.assertLess(time.monotonic() - begun, 3 + 1.5)
        code, out, err = run.finish()
        listener.close()
        shutil.rmtree(os.path.dirname(path))
        self.assertEqual(code, 0, out + err)
        self.assertIn(COMPLETE, out)
        self.assertIn(NO_INHIBITOR + ": the system bus did not answer within 3 s\n", err)

    def test_package_replaced_during_the_pause_gets_no_trigger(self):
        # A copy with the same bytes, renamed over the package after the check: what was
        # checked is no longer what the name holds, so the drive is not asked to program.
        package = os.path.join(self.dir, "demo.tfs")
        shutil.copyfile(DEMO_PACKAGE, package)
        run = Run(self.dir, "flash", "--yes", "--no-restart", package)
        run.wait_for("Flashing ..")  # the 2 s pause before the first block
        shutil.copyfile(DEMO_PACKAGE, package + ".new")
        os.rename(package + ".new", package)
        code, out, err = run.finish()
        self.assertEqual((code, out), (1, "Flashing ..\n" + CHANGED + "\n"), err)
        self.assertEqual(self.revision(0), "1.00")


class Inhibitor(dbusmock.DBusTestCase):
    @classmethod
    def setUpClass(cls):
        cls.start_system_bus()
        cls.logind, cls.manager = cls.spawn_server_template("logind", {},
                                                            stdout=subprocess.DEVNULL)

    @classmethod
    def tearDownClass(cls):
        cls.logind.terminate()
        cls.logind.wait()
        # dbusmock keeps its data folder on DBusTestCase but clears it on the subclass, so its
        # own tear-down never removes it: a dbusmock_data_* folder per run stayed in /tmp.
        data = dbusmock.DBusTestCase._DBusTestCase__datadir
        super().tearDownClass()
        if data:
            shutil.rmtree(data, ignore_errors=True)
            dbusmock.DBusTestCase._DBusTestCase__datadir = None

    def setUp(self):
        Interplay.setUp(self)

    def inhibitors(self):
        return [tuple(str(field) for field in entry[:4])
                for entry in self.manager.ListInhibitors(dbus_interface=LOGIND)]

    def wait_for_inhibitors(self, expected):
        deadline = time.monotonic() + 5
        while self.inhibitors() != expected and time.monotonic() < deadline:
            time.sleep(0.05)
        self.assertEqual(self.inhibitors(), expected)

    def test_held_from_start_until_the_wait_ends(self):
        read_end, write_end = os.pipe()
        with os.fdopen(write_end, "w") as answer:
            run = Run(self.dir, "flash", "--yes", DEMO_PACKAGE, stdin=read_end,
                      bus=os.environ["DBUS_SYSTEM_BUS_ADDRESS"])
            os.close(read_end)
            # Taken before the first firmware command, so that asking the login manager never
            # holds up a drive between two of them.
            run.wait_for("Flashing ..")
            self.assertEqual(self.inhibitors(),
                             [("shutdown:sleep:idle:handle-power-key:handle-suspend-key",
                               "TROZFlash", "Writing firmware into TROZ KVW-A100A 1.00 (virtual:0)",
                               "block")])
            # At the restart question the drive is done: the lock is gone, the process is not.
            run.wait_for("Reboot this computer right now ? [yes/No]")
            self.wait_for_inhibitors([])
            self.assertIsNone(run.process.poll())
            answer.write("no\n")
        code, out, err = run.finish()
        self.assertEqual(code, 0, out + err)
        self.assertNotIn(NO_INHIBITOR, err)

    def test_refused_inhibitor_does_not_stop_the_flash(self):
        self.manager.AddMethod(LOGIND, "Inhibit", "ssss", "h",
                               'raise dbus.exceptions.DBusException("Refused by policy", '
                               'name="org.freedesktop.DBus.Error.AccessDenied")',
                               dbus_interface=dbusmock.MOCK_IFACE)
        run = Run(self.dir, "flash", "--yes", "--no-restart", DEMO_PACKAGE,
                  bus=os.environ["DBUS_SYSTEM_BUS_ADDRESS"])
        code, out, err = run.finish()
        self.assertEqual(code, 0, out + err)
        self.assertIn(COMPLETE, out)
        self.assertEqual(err.count(NO_INHIBITOR), 1, err)
        self.assertIn(NO_INHIBITOR + ": the login manager refused the inhibitor "
                      "(Refused by policy)\n", err)


if __name__ == "__main__":
    unittest.main()
