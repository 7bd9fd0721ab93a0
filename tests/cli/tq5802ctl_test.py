"""tq5802ctl as a process: exit codes, JSON shape, refusals that send nothing, batch scripts
and a snapshot round trip. The simulated board lives as long as one process, so what a
command did is read back by later lines of the same batch."""

import json
import math
import os
import subprocess
import sys
import tempfile
import time
import unittest

PROGRAM = sys.argv[1]
FAILING_DRIVER = sys.argv[2]


def run(*args, script=None, cwd=None):
    done = subprocess.run([PROGRAM, *args], input=script, capture_output=True, text=True,
                          timeout=60, cwd=cwd)
    return done.returncode, done.stdout, done.stderr


def batch(script, *options):
    """Runs a script on the simulated board with --json; returns (exit code, objects, stderr)."""
    code, out, err = run("--simulate", "--json", *options, "batch", script=script)
    return code, [json.loads(line) for line in out.splitlines()], err


class ExitCodes(unittest.TestCase):
    def test_each_outcome_has_its_code(self):
        cases = [
            (["--simulate", "code", "A", "0xFFFF"], 0),
            (["--simulate", "code", "A", "65536"], 2),
            (["--simulate", "code", "A", "12abc"], 2),
            (["--simulate", "volts", "E", "1"], 2),
            (["--simulate", "volts", "A", "10.01"], 2),
            (["--simulate", "range", "A", "10.3"], 2),
            (["--simulate", "read", "gain", "A"], 2),
            (["--simulate", "trim", "A"], 2),
            (["--simulate", "launch"], 2),
            (["--simulate", "--driver", FAILING_DRIVER, "list"], 2),
            (["--simulate", "--board", "-1", "list"], 2),
            (["--simulate"], 2),
            (["--simulate", "--firmware", "/nonexistent/TQ5802.hex", "temp"], 3),
            (["--driver", "/nonexistent/libnone.so", "code", "A", "1"], 4),
            (["--driver", FAILING_DRIVER, "code", "A", "1"], 1),
            (["--driver", FAILING_DRIVER, "read", "data", "A"], 0),
            (["--simulate", "--legacy", "volts", "ALL", "-10"], 0),
            (["--simulate", "--legacy", "temp"], 2),
        ]
        for args, expected in cases:
            with self.subTest(args=args):
                code, _, err = run(*args)
                self.assertEqual(code, expected, err)
                if expected != 0:
                    self.assertTrue(err.startswith("tq5802ctl: "), err)

    def test_a_feature_the_board_lacks_is_refused_by_name(self):
        code, out, _ = run("--simulate", "--legacy", "--json", "temp")
        self.assertEqual(code, 2)
        reply = json.loads(out.splitlines()[-1])
        error = reply["error"]
        self.assertEqual((error["kind"], error["message"]),
                         ("missing", "the TQ5802 board has no temperature readout"))
        self.assertEqual(reply["transfers"], 0)

    def test_a_relative_driver_path_is_taken_from_the_working_directory(self):
        folder, name = os.path.split(FAILING_DRIVER)
        code, _, err = run("--driver", os.path.join(".", name), "read", "data", "A", cwd=folder)
        self.assertEqual(code, 0, err)

    def test_help_documents_commands_and_exit_codes(self):
        code, out, _ = run("--help")
        self.assertEqual(code, 0)
        for text in ["code CH N", "snapshot save|load FILE", "batch [FILE]", "Exit codes:",
                     "2  usage or value error: nothing was sent", "--keep-going", "--legacy",
                     "7  calibration ended outside 0.5 LSB"]:
            self.assertIn(text, out)


class Json(unittest.TestCase):
    def test_replies_carry_values_units_and_transfer_status(self):
        code, objects, _ = batch("volts B 5\nread data ALL\ntrim C --fine -1 --offset -0.125\n"
                                 "temp\nlines\nread function\n")
        self.assertEqual(code, 0)
        volts, read, trim, temp, lines, function, summary = objects
        for o in objects[:-1]:
            self.assertTrue(o["ok"])
            self.assertGreaterEqual(o["line"], 1)
        self.assertEqual((volts["channel"], volts["code"], volts["volts"]), ("B", 49152, 5))
        self.assertEqual(volts["transfers"], 1)
        self.assertEqual([c["code"] for c in read["channels"]], [32768, 49152, 32768, 32768])
        self.assertEqual(read["register"], "data")
        self.assertEqual(trim["fine"], {"code": 63, "lsb": -1})
        self.assertEqual(trim["offset"], {"code": 255, "lsb": -0.125})
        self.assertAlmostEqual(temp["celsius"], 25, delta=1)
        self.assertIsInstance(temp["reading"], int)
        self.assertTrue(lines["ldac"] and lines["binary"] and lines["pulseAfterWrite"])
        self.assertTrue(function["sdoEnabled"])
        self.assertEqual(summary, {"command": "batch", "ok": True, "lines": 6,
                                   "transfers": summary["transfers"]})

    def test_failed_transfer_names_request_and_status(self):
        code, out, _ = run("--driver", FAILING_DRIVER, "--json", "code", "A", "1")
        self.assertEqual(code, 1)
        error = json.loads(out)["error"]
        self.assertEqual((error["kind"], error["request"], error["status"]), ("transfer", 0xD9, -7))


class Messages(unittest.TestCase):
    def test_messages_say_what_is_wrong_and_what_to_do(self):
        import socket
        with socket.socket() as taken:
            taken.bind(("127.0.0.1", 0))
            taken.listen()
            busy = "127.0.0.1:%d" % taken.getsockname()[1]
            cases = [
                (["serve", "--listen", "999.1.1.1:5025"], 2, 'the address "999.1.1.1"'),
                (["serve", "--listen", "127.0.0.1:99999"], 2, 'the port "99999"'),
                (["serve", "--listen", busy], 2, "choose another port"),
                (["trim", "A", "--offset", "0.1", "--fine", "2.4"], 0,
                 "offset 1 = 0.125 LSB (0.1 rounded to the nearest 1/8 LSB)"),
                (["trim", "A", "--fine", "2.4"], 0, "fine 2 = 2 LSB (2.4 rounded to a whole LSB)"),
            ]
            for args, code, said in cases:
                with self.subTest(args=args):
                    got, out, err = run("--simulate", *args)
                    self.assertEqual(got, code, err)
                    self.assertIn(said, out + err)


class Batch(unittest.TestCase):
    def test_refused_values_send_nothing(self):
        # Every refused line is read back unchanged by the lines after it.
        code, objects, err = batch(
            "code A 100\nrange B 10.5263\nvolts B -10.5\n"
            "volts A 20\ncode A -1\nvolts ALL 10.2\ntrim A --fine 3 --offset 16\n"
            "read data A\nread data B\nread fine A\n", "--keep-going")
        self.assertEqual(code, 2)
        refused = [o for o in objects if not o["ok"] and o["command"] != "batch"]
        self.assertEqual([o["line"] for o in refused], [4, 5, 6, 7])
        for o in refused:
            self.assertEqual(o["transfers"], 0)
            self.assertEqual(o["error"]["kind"], "usage")
        self.assertIn("-10 to 10 V", refused[0]["error"]["message"])
        data_a, data_b, fine_a = (o for o in objects if o["command"] == "read")
        self.assertEqual(data_a["code"], 100)
        self.assertAlmostEqual(data_b["volts"], -10.5, delta=1e-3)
        self.assertEqual(fine_a["code"], 0)

    def test_stops_at_the_first_failing_line_and_names_it(self):
        code, objects, err = batch("# set up\ncode A 1\n\nvolts A 11   # too high\ncode B 2\n")
        self.assertEqual(code, 2)
        self.assertEqual([o.get("line") for o in objects], [2, 4, None])
        self.assertIn("line 4: volts A 11: ", err)
        self.assertIn("stopped at line 4 (volts A 11)", err)

    def test_a_script_with_a_bad_line_runs_no_line(self):
        code, objects, err = batch("code A 1\nvolst A 2\ncode Q 1\nbatch other\n")
        self.assertEqual(code, 2)
        self.assertEqual([(o["command"], o["ok"], o["transfers"]) for o in objects],
                         [("batch", False, 0)])
        for text in ['line 2: volst A 2: unknown command "volst"', "line 3: code Q 1: unknown "
                     "channel \"Q\": use A, B, C, D or ALL", "line 4: batch other: batch cannot"]:
            self.assertIn(text, err)

    def test_text_output_from_a_file(self):
        with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as f:
            f.write("code all 0x8000\nread data c\n")
        try:
            code, out, _ = run("--simulate", "batch", f.name)
        finally:
            os.unlink(f.name)
        self.assertEqual(code, 0)
        self.assertEqual(out.splitlines()[-1], "C data 32768 (0x8000) = 0 V")


class Inputs(unittest.TestCase):
    """Files that are not what they seem, quoting in scripts, and refusals kept readable."""

    def test_special_and_huge_files_are_refused_naming_them(self):
        with tempfile.TemporaryDirectory() as d:
            fifo, zero, huge = (os.path.join(d, n) for n in ("fifo", "zero", "huge.json"))
            os.mkfifo(fifo)
            os.symlink("/dev/zero", zero)
            with open(huge, "wb") as f:
                f.truncate(17 << 20)
            cases = [(args, path, why) for path, why in [
                (fifo, "pipe"), (zero, "device"), (d, "folder"), (huge, "larger than")]
                for args in (["snapshot", "load", path], ["batch", path])]
            cases.append((["serve", "--allow", "127.0.0.010"], "127.0.0.010", "dotted decimal"))
            for args, path, why in cases:
                with self.subTest(args=args):
                    code, out, err = run("--simulate", *args)
                    self.assertEqual(code, 2, err)
                    self.assertIn(path, err)
                    self.assertIn(why, err)
            # Standard input is read only up to the limit too.
            with open("/dev/zero", "rb") as endless:
                done = subprocess.run([PROGRAM, "--simulate", "batch"], stdin=endless,
                                      capture_output=True, text=True, timeout=60)
            self.assertEqual(done.returncode, 2)
            self.assertIn("standard input: it is larger than", done.stderr)

    def test_quotes_group_words_and_comments_start_words(self):
        with tempfile.TemporaryDirectory() as d:
            script = (f'snapshot save {d}/run#1.json # a comment\n'
                      f'snapshot save "{d}/a b#2.json"#x\n'
                      f'snapshot save "{d}/q\\"uote.json"\n'
                      'code A 5 #7\n'
                      'read data A\n')
            code, objects, err = batch(script)
            self.assertEqual(code, 0, err)
            self.assertEqual(sorted(os.listdir(d)),
                             ["a b#2.json#x", "q\"uote.json", "run#1.json"])
            self.assertEqual(objects[-2]["code"], 5)
            code, objects, err = batch('code A 1\nsnapshot save "open\n')
            self.assertEqual(code, 2)
            self.assertIn("line 2: snapshot save \"open: the quote at column 15 is not closed",
                          err)

    def test_huge_and_binary_lines_are_echoed_short(self):
        script = "code A " + "x" * 1_000_000 + "\n" + "volts \x1b[2J\x07 1\n" * 100
        code, _, err = run("--simulate", "batch", script=script)
        self.assertEqual(code, 2)
        self.assertLess(len(err), 6000)
        self.assertNotIn("\x1b", err)
        self.assertIn("and 81 more", err)


class Snapshot(unittest.TestCase):
    READ_BACK = "".join(f"read {r} {c}\n" for c in "ABCD"
                        for r in ("data", "coarse", "fine", "offset")) + "read function\nlines\n"

    def test_round_trip_restores_a_changed_board_exactly(self):
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "setup.json")
            set_up = ("range B 10.2564\nrange D 10.5263\ntrim A --fine -5 --offset 3.5\n"
                      "trim D --fine 31 --offset -16\ncode A 0x1234\nvolts B -3.3\nvolts C 7\n"
                      "code D 65535\nlines coding=twos drive-d1=high\nfunction d0=high\n")
            changes = ("range ALL 10\ntrim ALL --fine 0 --offset 0\ncode ALL 0\n"
                       "lines coding=binary pulse=off ldac=low\nfunction d0=in local-gnd=on\n")
            script = [set_up, self.READ_BACK, f"snapshot save {path}\n", changes, self.READ_BACK,
                      f"snapshot load {path}\n", self.READ_BACK]
            code, objects, err = batch("".join(script))
            self.assertEqual(code, 0, err)
            # Each read-back block's replies, by the lines the block holds.
            starts = [sum(p.count("\n") for p in script[:i]) for i in range(len(script))]

            def block(i):
                first, last = starts[i] + 1, starts[i] + script[i].count("\n")
                return [{k: v for k, v in o.items() if k != "line"} for o in objects
                        if first <= o.get("line", 0) <= last]

            before, changed, restored = block(1), block(4), block(6)
            self.assertEqual(len(before), 18)
            self.assertNotEqual(before, changed)
            self.assertEqual(before, restored)

            # A set-up of the other board is refused before anything is written.
            code, _, err = run("--simulate", "--legacy", "snapshot", "load", path)
            self.assertEqual(code, 2)
            self.assertIn("TQ5802R", err)
            self.assertIn("without --legacy", err)


class Meter(unittest.TestCase):
    """calibrate and sweep against the simulated board's meter, on a port of their own."""

    def setUp(self):
        import socket
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            self.port = probe.getsockname()[1]
        self.env = dict(os.environ, TQ5802_SIM_METER=f"127.0.0.1:{self.port}")
        self.env.pop("DISPLAY", None)
        self.env.pop("QT_QPA_PLATFORM", None)
        self.meter = ["--meter", f"tcp://127.0.0.1:{self.port}", "--settle", "0"]

    def run_meter(self, *args):
        done = subprocess.run([PROGRAM, "--simulate", *args], capture_output=True, text=True,
                              timeout=90, env=self.env, stdin=subprocess.DEVNULL)
        return done.returncode, done.stdout, done.stderr

    def test_calibrate_brings_channels_within_half_an_lsb(self):
        code, out, err = self.run_meter("calibrate", *self.meter, "--route", "ROUT:CLOS (@{n})",
                                        "--channels", "A,d", "--json")
        self.assertEqual(code, 0, err)
        reply = json.loads(out)
        self.assertTrue(reply["ok"] and reply["within_tolerance"])
        self.assertEqual([c["channel"] for c in reply["channels"]], ["A", "D"])
        for c in reply["channels"]:
            self.assertGreater(abs(c["before"]["offset_lsb"]), 3)
            self.assertLessEqual(abs(c["after"]["offset_lsb"]), 0.5)
            self.assertLessEqual(abs(c["after"]["zero_scale_lsb"]), 0.5)

    def test_calibrate_outside_half_an_lsb_is_a_failure(self):
        # A meter this noisy cannot show any channel within half an LSB.
        self.env["TQ5802_SIM_METER_NOISE"] = "0.05"
        code, out, err = self.run_meter("calibrate", *self.meter, "--route", "ROUT:CLOS (@{n})",
                                        "--channels", "B,C", "--json")
        self.assertEqual(code, 7, err)
        reply = json.loads(out)
        self.assertFalse(reply["ok"] or reply["within_tolerance"])
        self.assertEqual(len(reply["channels"]), 2)
        self.assertIn("tq5802ctl: calibration ended outside 0.5 LSB on B, C", err)

    def test_sweep_writes_its_files_without_a_display(self):
        with tempfile.TemporaryDirectory() as folder:
            csv, png = os.path.join(folder, "c.csv"), os.path.join(folder, "c.png")
            code, out, err = self.run_meter("sweep", *self.meter, "--route", "ROUT:CLOS (@{n})",
                                            "--channel", "C", "--points", "129", "--out", csv,
                                            "--plot", png, "--json")
            self.assertEqual(code, 0, err)
            # Drawn off screen without the platform's complaints about showing windows.
            self.assertNotIn("plugin", err)
            reply = json.loads(out)
            self.assertEqual((reply["channel"], reply["dnl_pairs"]), ("C", 75))
            self.assertLess(reply["overhead_ms_per_point"], reply["ms_per_point"])
            with open(csv) as f:
                self.assertEqual(len(f.readlines()), reply["points"] + 1)
            with open(png, "rb") as f:
                self.assertEqual(f.read(8), b"\x89PNG\r\n\x1a\n")

    def test_refusals_and_an_absent_meter(self):
        cases = [
            (["calibrate", *self.meter, "--non-interactive"], 2, "without --route"),
            (["sweep", *self.meter, "--route", "x"], 2, "usage: sweep"),
            (["sweep", *self.meter, "--channel", "ALL"], 2, "one channel"),
            (["sweep", *self.meter, "--channel", "A", "--timeout", "0"], 2, "1 to 600000"),
            (["calibrate", "--meter", "tcp://127.0.0.1:1", "--route", "x"], 5,
             "cannot reach the meter at 127.0.0.1:1"),
            # The meter left on DAC A.
            (["calibrate", *self.meter, "--route", "ROUT:CLOS (@1)", "--channels", "B"], 5,
             "DAC B stepped by 10 V, the meter saw"),
            (["sweep", *self.meter, "--route", "ROUT:CLOS (@1)", "--channel", "C", "--points",
              "9"], 5, "is it on DAC C?"),
        ]
        for args, expected, text in cases:
            with self.subTest(args=args):
                code, _, err = self.run_meter(*args)
                self.assertEqual(code, expected, err)
                self.assertIn(text, err)

    def test_a_signal_stops_the_run_and_exits_6(self):
        import signal
        for sig in (signal.SIGINT, signal.SIGTERM):
            with self.subTest(signal=sig):
                run = subprocess.Popen(
                    [PROGRAM, "--simulate", "calibrate", *self.meter, "--settle", "600000",
                     "--route", "ROUT:CLOS (@{n})"], stdout=subprocess.PIPE,
                    stderr=subprocess.PIPE, text=True, env=self.env, stdin=subprocess.DEVNULL)
                # The first measurement has begun, and settles for ten minutes.
                first = run.stderr.readline()
                run.send_signal(sig)
                _, err = run.communicate(timeout=30)
                self.assertTrue(first.startswith("[1/44] DAC A"), first)
                self.assertEqual(run.returncode, 6, err)
                self.assertIn("interrupted: calibration cancelled; the board was put back", err)

    def test_a_meter_failure_is_kind_meter(self):
        code, out, _ = self.run_meter("--json", "sweep", *self.meter, "--route", "ROUT:CLOS (@2)",
                                      "--channel", "A", "--points", "9")
        self.assertEqual(code, 5)
        self.assertEqual(json.loads(out)["error"]["kind"], "meter")


class Play(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.csv = os.path.join(self.folder.name, "points.csv")

    def tearDown(self):
        self.folder.cleanup()

    def write(self, text):
        with open(self.csv, "w", encoding="utf-8") as f:
            f.write(text)

    def test_a_list_ends_where_asked_and_a_bad_point_sends_nothing(self):
        self.write("A,C_code\n1,0x1000\n5,0x2000\n")
        for end, expected in (("hold", [49152, 8192]), ("zero", [32768, 32768])):
            with self.subTest(end=end):
                code, objects, err = batch(f"play --rate 500 --count 2 --end {end} --csv "
                                           f"{self.csv}\nread data A\nread data C\n")
                self.assertEqual(code, 0, err)
                self.assertEqual((objects[0]["points"], objects[0]["stopped"]), (4, False))
                self.assertEqual([o["code"] for o in objects[1:3]], expected)
        self.write("A,C_code\n1,0x1000\n10.5,0x2000\n")
        code, _, err = run("--simulate", "--json", "play", "--rate", "10", "--csv", self.csv)
        self.assertEqual(code, 2, err)
        self.assertIn("point 2, DAC A: 10.5 V is outside its range", err)

    def test_each_shape_by_its_name(self):
        # Eight points of one 10 Hz period, 5 V peak on +-10 V: the last one, at 7/8 of the
        # period, tells the shapes apart.
        for shape, volts in (("sine", -5 * math.sqrt(0.5)), ("triangle", -2.5), ("square", -5),
                             ("ramp", 3.75), ("steps", 5)):
            with self.subTest(shape=shape):
                code, objects, err = batch(f"play --rate 80 --count 1 --shape {shape} --freq 10 "
                                           "--amplitude 5 --channels A\nread data A\n")
                self.assertEqual(code, 0, err)
                self.assertAlmostEqual(objects[1]["code"], 32768 * (1 + volts / 10), delta=1)

    def test_a_signal_stops_it_with_its_summary(self):
        for signal in (subprocess.signal.SIGINT, subprocess.signal.SIGTERM):
            with self.subTest(signal=signal):
                process = subprocess.Popen(
                    [PROGRAM, "--simulate", "--json", "play", "--rate", "100", "--forever",
                     "--shape", "sine", "--freq", "1", "--amplitude", "2", "--channels", "A,B"],
                    stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
                try:
                    time.sleep(1.5)
                    process.send_signal(signal)
                    out, err = process.communicate(timeout=30)
                finally:
                    process.kill()
                self.assertEqual(process.returncode, 6, err)
                summary = json.loads(out)
                self.assertTrue(summary["stopped"])
                self.assertGreater(summary["points"], 0)
                self.assertEqual(summary["error"]["kind"], "cancelled")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
