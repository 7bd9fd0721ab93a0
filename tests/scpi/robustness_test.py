"""The server under abuse: garbage, an overlong message, clients that vanish mid-message or
never read, a hundred clients at once, refused addresses. Every step is bounded in time."""
import random
import socket
import struct
import sys
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
    with Server(program) as server:
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
    print("robustness: ok")


if __name__ == "__main__":
    main(sys.argv[1])
