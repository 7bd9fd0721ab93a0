"""End to end with PyVISA's pure-Python backend against the server on the simulated board."""
import sys

import pyvisa

from scpi_server import Server, expect


def main(program):
    with Server(program) as server:
        rm = pyvisa.ResourceManager("@py")
        resource = f"TCPIP::127.0.0.1::{server.port}::SOCKET"
        opts = dict(read_termination="\n", write_termination="\n", timeout=5000)
        dac = rm.open_resource(resource, **opts)
        other = rm.open_resource(resource, **opts)

        idn = dac.query("*IDN?").split(",")
        expect(idn[1:3] == ["TQ5802R", "0"] and "project" in idn[0], f"*IDN? {idn}")

        # Set a channel in volts and read it back as volts and as its data code.
        dac.write("SOURce2:VOLTage 2.5")
        expect(abs(float(dac.query("SOUR2:VOLT?")) - 2.5) < 1e-3, "SOUR2:VOLT?")
        expect(int(dac.query("SOUR2:DATA?")) == 40960, "SOUR2:DATA?")
        # Another range rescales the same code; trims and raw registers.
        dac.write("sour2:volt:rang max;:cal2:offs 1.5;gain:fine -3")
        expect(dac.query("SOUR2:VOLT:RANG?") == "10.5263", "range")
        expect(abs(float(dac.query("SOUR2:VOLT?")) - 2.631575) < 1e-3, "volts in the new range")
        expect(dac.query("CAL2:GAIN:FINE?") == "-3" and dac.query("CAL2:OFFS?") == "1.5", "trims")
        dac.write("REG 2,D,#H1234")
        expect(dac.query("REG? 2,3") == str(0x1234) and dac.query("SOUR4:DATA?") == "4660", "raw")
        expect(10 < float(dac.query("MEAS:TEMP?")) < 40, "temperature")

        # *RST brings back the start-up's control lines.
        dac.write("CONT:COD TWOS;LDAC OFF")
        expect(dac.query("CONT:COD?;LDAC?") == "TWOS", "first of two answers")
        expect(dac.read() == "0", "second answer on its own line")
        dac.write("*RST")
        expect(dac.query("CONT:COD?") == "BIN" and dac.query("CONT:LDAC?") == "1", "*RST")

        # Errors stay with the client that made them; the connection keeps working.
        dac.write("SOUR2:VOLT 99")
        dac.write("NO:SUCH:THING")
        expect(other.query("SYST:ERR:COUN?") == "0", "the other client's queue")
        expect(dac.query("SYST:ERR:COUN?") == "2", "error count")
        expect(dac.query("SYST:ERR?").startswith('-222,"Data out of range'), "-222")
        expect(dac.query("SYST:ERR?").startswith("-113,"), "-113")
        expect(dac.query("SYST:ERR?") == '0,"No error"', "empty queue")
        expect(other.query("SOUR2:DATA?") == "40960", "one board for every client")

        dac.close()
        other.close()
        rm.close()
        expect(server.alive(), "server still up")
        status = server.stop()
        expect(status == 0, f"exit status {status} on SIGTERM")
    print("PyVISA end to end: ok")


if __name__ == "__main__":
    main(sys.argv[1])
