"""The server under abuse: garbage, an overlong message, clients that vanish mid-message or
never read, a hundred clients at once, refused addresses, one client too many, descriptors
running out, meters nobody named, and a slow calibration beside other clients, ABORt and
SIGTERM. Every step is bounded in time."""
import os
import random
import resource
import select
import socket
import struct
import sys
import threading
import time

from scpi_server import Server, expect


def connect(port):
    s = socket.create_connection(("127.0.0.1", port), timeout=10)
    return s, s.makefile("rwb")


def ask(f, line):
    f.write(line.encode() + b"\n")
    f.flush()
    return f.readline().decode().rstrip("\n")


def main(program):
    with Server(program, "--max-clients", "200") as server:
        port = server.port
        s, f = connect(port)

        # Binary garbage, with and without newlines: errors, never the end.
        rng = random.Random(5802)
        for _ in range(50):
            s.sendall(bytes(rng.randrange(256) for _ in range(rng.randrange(1, 400))))
        s.sendall(b"\n")
        expect(ask(f, "*IDN?").split(",")[1] == "TQ5802R", "answers after garbage")
        expect(ask(f, "SYST:ERR?").startswith("-102,"), "garbage is a syntax error")
        f.write(b"*CLS\n")
        f.flush()

        # A message over 64 KiB is refused with -363; the connection keeps working.
        s.sendall(b"SOUR1:DATA " + b"1" * (1 << 20) + b"\n")
        e = ask(f, "SYST:ERR?")
        expect(e.startswith("-363,"), f"-363 for an overlong message, not {e}")
        expect(ask(f, "SYST:ERR?") == '0,"No error"', "one error for one message")
        s.sendall(b"SOUR1:DATA 7;:SOUR1:DATA?" + b" " * 60000 + b"\n")
        expect(f.readline() == b"7\n", "a long message within the limit")

        # Clients that vanish mid-message, some with a reset instead of a close.
        for i in range(40):
            c = socket.create_connection(("127.0.0.1", port), timeout=10)
            if i % 2:
                c.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            c.sendall(b"SOUR1:VOLT 1;SOUR1:VO")
            c.close()

        # A client that never reads its answers is dropped once its backlog is too large.
        hog = socket.create_connection(("127.0.0.1", port), timeout=10)
        hog.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        hog.setblocking(False)
        chunk = b"*IDN?\n" * 10000
        dropped = False
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline and not dropped:
            try:
                hog.send(chunk)
            except BlockingIOError:
                time.sleep(0.01)
            except (ConnectionResetError, BrokenPipeError):
                dropped = True
        hog.close()
        expect(dropped, "a client that never reads is dropped")

        # A hundred clients at once, each served.
        many = [connect(port) for _ in range(100)]
        for _, mf in many:
            mf.write(b"SOUR3:DATA?\n")
            mf.flush()
        expect(all(mf.readline() for _, mf in many), "a hundred clients answered")
        for ms, _ in many:
            ms.close()

        expect(ask(f, "SOUR1:DATA?") == "7", "the first client is still served")
        expect(server.alive(), "server still up")
        s.close()
        expect(server.stop() == 0, "clean exit on SIGTERM")

    # A client from outside the allowed subnets is refused at connect and logged.
    with Server(program, "--allow", "10.0.0.0/8", "--allow", "192.168.1.0/24") as server:
        s = socket.create_connection(("127.0.0.1", server.port), timeout=10)
        s.sendall(b"*IDN?\n")
        try:
            answer = s.recv(100)
        except ConnectionResetError:
            answer = b""
        expect(answer == b"", "no answer to a refused client")
        server.stop()
        expect("refused a connection from 127.0.0.1" in server.stderr(), "refusal logged")
    cap_and_descriptors(program)
    meters_of_the_operator(program)
    long_operations(program)
    list_mode(program)
    print("robustness: ok")


def refused_or_closed(s):
    try:
        return s.makefile("rb").readline()
    except ConnectionResetError:
        return b""


def cap_and_descriptors(program):
    # One client over --max-clients is told why and closed; a place that frees up is taken.
    with Server(program, "--max-clients", "2") as server:
        first, second = connect(server.port), connect(server.port)
        third = socket.create_connection(("127.0.0.1", server.port), timeout=10)
        expect(refused_or_closed(third).startswith(b"-310,"), "refusal line for one too many")
        expect(ask(second[1], "*IDN?").startswith("TQ5802R "), "the capped clients are served")
        first[1].close()
        first[0].close()
        time.sleep(0.2)
        again = connect(server.port)
        expect(ask(again[1], "*IDN?").startswith("TQ5802R "), "a freed place is taken")
        expect("2 clients are connected" in server.stderr(), "refusal logged")

    # Out of descriptors: connections pile up unserved; once they are closed the server
    # accepts and serves again, and says what happened.
    def few_descriptors():
        resource.setrlimit(resource.RLIMIT_NOFILE, (40, 40))
    with Server(program, "--max-clients", "1000", preexec_fn=few_descriptors) as server:
        # UBSan checks a type it meets for the first time through a pipe, which it cannot
        # make with no descriptor left: one client first, while there are some.
        s, f = connect(server.port)
        ask(f, "*IDN?")
        f.close()
        s.close()
        while "disconnected" not in server.stderr():
            time.sleep(0.05)
        crowd = [socket.create_connection(("127.0.0.1", server.port), timeout=10)
                 for _ in range(120)]
        deadline = time.monotonic() + 30
        while "cannot accept" not in server.stderr() and time.monotonic() < deadline:
            time.sleep(0.1)
        expect("cannot accept a connection" in server.stderr(), "accept error logged")
        for c in crowd:
            c.close()
        s, f = connect(server.port)
        expect(ask(f, "*IDN?").startswith("TQ5802R "), "served after descriptors freed up")
        s.close()


def meters_of_the_operator(program):
    # CALibration:METer selects only what serve --meter named: a listener elsewhere never
    # sees a connection, whatever a client asks.
    listener = socket.create_server(("127.0.0.1", 0))
    url = f'"tcp://127.0.0.1:{listener.getsockname()[1]}"'
    for extra in ([], ["--meter", "tcp://127.0.0.1:1", "--meter-route", "ROUT:CLOS (@{n})"]):
        with Server(program, *extra) as server:
            s, f = connect(server.port)
            f.write(f"CAL:MET {url}\n".encode())
            f.flush()
            expect(ask(f, "SYST:ERR?").startswith("-224,"), "an unnamed meter is refused")
            expect(ask(f, "CAL:MET:ROUT 'X';:CAL1:AUTO?;:SYST:ERR?").startswith("-221,"),
                   "no meter, or a route the operator fixed")
            s.close()
    listener.settimeout(0.5)
    try:
        listener.accept()
        expect(False, "the server connected where no operator sent it")
    except socket.timeout:
        pass
    listener.close()


class SlowMeter:
    """A meter that answers each query late: a relay to the simulated board's meter."""

    def __init__(self, upstream, delay):
        self.upstream, self.delay = upstream, delay
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        while True:
            try:
                client, _ = self.listener.accept()
            except OSError:
                return
            threading.Thread(target=self.relay, args=(client,), daemon=True).start()

    def relay(self, client):
        try:
            with client, socket.create_connection(("127.0.0.1", self.upstream), 30) as up:
                mine, theirs = client.makefile("rwb"), up.makefile("rwb")
                for line in mine:
                    theirs.write(line)
                    theirs.flush()
                    if b"?" in line:
                        answer = theirs.readline()
                        time.sleep(self.delay)
                        mine.write(answer)
                        mine.flush()
        except OSError:
            pass


def waiting(sock):
    return not select.select([sock], [], [], 0)[0]


def long_operations(program):
    # AUTO runs off the event loop: others' questions are answered meanwhile, board
    # commands wait their turn, ABORt stops it with the trims as they were, and so does
    # SIGTERM, after which the server ends promptly.
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        sim = probe.getsockname()[1]
    env = dict(os.environ, TQ5802_SIM_METER=f"127.0.0.1:{sim}")
    meter = SlowMeter(sim, 0.1)
    args = ["--meter", f"tcp://127.0.0.1:{meter.port}", "--meter-route", "ROUT:CLOS (@{n})"]
    with Server(program, *args, env=env) as server:
        (a, af), (b, bf) = connect(server.port), connect(server.port)
        af.write(b"CAL2:AUTO?\n")
        af.flush()
        time.sleep(0.3)
        for query, answer in [("*IDN?", "TQ5802R evaluation"), ("*STB?", "0"),
                              ("SYST:ERR?", "0,"), ("STAT:OPER:COND?", "1")]:
            expect(ask(bf, query).startswith(answer), f"{query} answered during AUTO")
        expect(waiting(a), "AUTO still running")
        bf.write(b"SOUR1:DATA 5;DATA?\n")
        bf.flush()
        time.sleep(0.2)
        expect(waiting(b), "a board command waits for AUTO")
        expect(af.readline().startswith(b"1,"), "AUTO within tolerance")
        expect(bf.readline() == b"5\n", "the board command ran after it")
        expect(ask(bf, "STAT:OPER:COND?") == "0", "the calibrating bit clear after AUTO")

        trims = [ask(bf, "CAL3:OFFS?"), ask(bf, "CAL3:GAIN:FINE?")]
        af.write(b"CAL3:AUTO\n")
        af.flush()
        time.sleep(0.5)
        af.write(b"ABOR\n")
        af.flush()
        expect(ask(af, "SYST:ERR?").startswith("103,"), "ABORt stopped AUTO")
        expect([ask(bf, "CAL3:OFFS?"), ask(bf, "CAL3:GAIN:FINE?")] == trims,
               "trims as they were")

    # A slower meter still: left alone, AUTO would outlast the 3 s.
    meter.delay = 0.3
    with Server(program, *args, env=env) as server:
        a, af = connect(server.port)
        af.write(b"CAL2:AUTO\n")
        af.flush()
        time.sleep(0.5)
        start = time.monotonic()
        expect(server.stop() == 0, "clean exit on SIGTERM during AUTO")
        expect(time.monotonic() - start < 3, "the server ends within 3 s")


def list_mode(program):
    # INITiate plays beside the server: its sender's questions and others' are answered
    # meanwhile with the running bit set, board commands wait, and ABORt stops the play;
    # what the sender asks after ABORt is answered once it has stopped, and its *OPC? once
    # the play has ended.
    with Server(program) as server:
        (a, af), (b, bf) = connect(server.port), connect(server.port)
        af.write(b"SOUR1:LIST:VOLT 1,-1;:SOUR:LIST:RATE 100;COUN INF\nINIT\n")
        af.flush()
        expect(ask(af, "STAT:OPER:COND?") == "8", "the sender's question answered while playing")
        expect(ask(bf, "STAT:OPER:COND?") == "8", "another's question answered while playing")
        bf.write(b"SOUR2:DATA 9;DATA?\n")
        bf.flush()
        time.sleep(0.2)
        expect(waiting(b), "a board command waits for the play")
        af.write(b"ABOR\n")
        expect(ask(af, "STAT:OPER:COND?") == "0", "ABORt stopped the play")
        expect(ask(af, "SYST:ERR?") == '0,"No error"', "a stop is no error")
        expect(bf.readline() == b"9\n", "the board command ran after it")
        af.write(b"SOUR:LIST:RATE 2;COUN 1\nINIT\n")
        expect(ask(af, "*OPC?") == "1" and ask(af, "STAT:OPER:COND?") == "0",
               "*OPC? waits for the play's end")


if __name__ == "__main__":
    main(sys.argv[1])
