#!/usr/bin/env python3
"""A Hayes AT-command GSM modem of our own, for tests against the real modem daemon.

    at_modem_sim.py serve NAME [--log FILE]
        listens on the abstract unix sockets "abstract:NAME-0" and "abstract:NAME-1" (the
        modem's two AT ports, which the daemon names abstract:NAME-0 and abstract:NAME-1) and
        NAME-control (the test's channel), until it is killed.
    at_modem_sim.py control NAME COMMAND [ARGS...]
        sends one command over NAME-control and prints the answer.

Control commands (one line each, the answer is one line, "ok" or "error: ..."):
    ussd-reply TEXT        the next USSD requests get TEXT as the network's final answer
    ussd-hex HEX           ... the answer's bytes as given, hex-encoded (hostile bytes)
    ussd-more TEXT         ... TEXT with "further action required" (+CUSD: 1)
    ussd-never             ... no answer at all
    sms SENDER TEXT        stores a received message in SM and tells with +CMTI
    sms-data SENDER HEX    the same with 8-bit data in place of a text
    roaming | home         the registration becomes roaming (5) or home (1), told with +CREG
    signal CSQ             the +CSQ level (0-31, 99 unknown)
    commands               the AT commands received so far, one per line, "|"-separated

Only the standard library; answers as a GSM modem in PDU mode with SM storage only does.
"""

import asyncio
import os
import socket
import sys
import time

SMS_SLOTS = 20


def semi_octets(digits):
    """BCD with swapped nibbles, F-padded, as addresses and time stamps are written."""
    if len(digits) % 2:
        digits += "F"
    return "".join(digits[i + 1] + digits[i] for i in range(0, len(digits), 2))


# The GSM 7-bit default alphabet, its basic table only.
GSM7 = ("@£$¥èéùìòÇ\nØø\rÅåΔ_ΦΓΛΩΠΨΣΘΞ\x1bÆæßÉ !\"#¤%&'()*+,-./0123456789:;<=>?"
        "¡ABCDEFGHIJKLMNOPQRSTUVWXYZÄÖÑÜ§¿abcdefghijklmnopqrstuvwxyzäöñüà")


def gsm7_pack(text):
    """Septets of text (basic table) packed into octets; returns (septet count, bytes)."""
    septets = [GSM7.index(c) for c in text]
    out = bytearray()
    bits = 0
    nbits = 0
    for s in septets:
        bits |= s << nbits
        nbits += 7
        while nbits >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8
    if nbits:
        out.append(bits & 0xFF)
    return len(septets), bytes(out)


def encode_address(sender):
    if sender.lstrip("+").isdigit():
        digits = sender.lstrip("+")
        kind = 0x91 if sender.startswith("+") else 0x81
        return "%02X%02X" % (len(digits), kind) + semi_octets(digits)
    count, packed = gsm7_pack(sender)
    # The length of an alphanumeric address counts the semi-octets its packed septets take.
    return "%02X%02X" % ((count * 7 + 3) // 4, 0xD0) + packed.hex().upper()


def deliver_pdu(sender, text=None, data=None, when=None):
    """An SMS-DELIVER as a modem stores it: (TPDU length in octets, hex with the SMSC first)."""
    t = time.gmtime(when if when is not None else time.time())
    stamp = semi_octets("%02d%02d%02d%02d%02d%02d" % (t.tm_year % 100, t.tm_mon, t.tm_mday,
                                                      t.tm_hour, t.tm_min, t.tm_sec)) + "00"
    if data is not None:
        dcs, udl, ud = 0x04, len(data), data
    elif all(c in GSM7 for c in text):
        dcs = 0x00
        udl, ud = gsm7_pack(text)
    else:
        dcs = 0x08
        ud = text.encode("utf-16-be")
        udl = len(ud)
    tpdu = "04" + encode_address(sender) + "00" + "%02X" % dcs + stamp + "%02X" % udl
    tpdu += ud.hex().upper()
    smsc = "07" + "91" + semi_octets("358401234567")
    return len(tpdu) // 2, smsc + tpdu


class Modem:
    def __init__(self, log):
        self.log = log
        self.ports = []            # writers of the connected AT ports
        self.registration = 1      # +CREG stat
        self.csq = 20
        self.act = 2               # access technology of +COPS and +CREG: 2 UTRAN (UMTS)
        self.ussd = ("reply", b"Your balance is 1.5 GB left")
        self.sms = {}              # index -> (stat, length, pdu)
        self.commands = []
        self.creg_mode = {}        # writer -> n of +CREG / +CGREG

    # -- the AT ports

    async def serve_port(self, reader, writer):
        self.ports.append(writer)
        buf = b""
        try:
            while True:
                chunk = await reader.read(4096)
                if not chunk:
                    break
                buf += chunk
                while b"\r" in buf:
                    line, buf = buf.split(b"\r", 1)
                    line = line.strip(b"\n ").decode("latin-1")
                    if line:
                        await self.command(line, writer)
        except (ConnectionError, OSError):
            pass
        finally:
            self.ports.remove(writer)
            writer.close()

    def send(self, writer, *lines):
        for line in lines:
            writer.write(b"\r\n" + (line if isinstance(line, bytes) else line.encode()) + b"\r\n")

    def unsolicited(self, line):
        for w in list(self.ports):
            self.send(w, line)

    async def command(self, line, writer):
        self.commands.append(line)
        if self.log:
            self.log.write("%s\n" % line)
            self.log.flush()
        up = line.upper()
        if not up.startswith("AT"):
            self.send(writer, "ERROR")
            return
        # Several commands on one line: AT+A;+B.
        body = line[2:]
        parts = [p for p in body.split(";")] if body else [""]
        for part in parts:
            answer = self.answer(part.strip(), writer)
            if answer is None:
                self.send(writer, "ERROR")
                return
            self.send(writer, *answer)
        self.send(writer, "OK")
        await writer.drain()
        pending = getattr(self, "_after", None)
        if pending:
            self._after = None
            await asyncio.sleep(0.05)
            pending(writer)
            await writer.drain()

    def creg_line(self, name, writer):
        n = self.creg_mode.get((writer, name), 0)
        if n == 2:
            return '%s: 2,%d,"1A2B","0000C3D4",%d' % (name, self.registration, self.act)
        return "%s: %d,%d" % (name, n, self.registration)

    def answer(self, cmd, writer):
        """The lines a command answers before OK; None for ERROR."""
        u = cmd.upper()
        if u in ("", "E0", "E1", "V1", "Z", "Q0", "&F", "+CMEE=1", "+CMEE=2") or u.startswith("&"):
            return []
        if u in ("+GCAP",):
            return ["+GCAP: +CGSM"]
        if u in ("I", "+CGMI", "+GMI"):
            return ["TAVU Test Modems"]
        if u in ("+CGMM", "+GMM"):
            return ["Simulated GSM modem"]
        if u in ("+CGMR", "+GMR"):
            return ["1.0"]
        if u in ("+CGSN", "+GSN"):
            return ["490154203237518"]
        if u == "+CIMI":
            return ["244051234567890"]
        if u == "+CPIN?":
            return ["+CPIN: READY"]
        if u.startswith("+CRSM=176,12258"):
            # The SIM's ICCID file EF_ICCID: BCD digits, nibbles swapped.
            return ['+CRSM: 144,0,"%s"' % semi_octets("89358012345678901234")]
        if u.startswith("+CRSM"):
            return ['+CRSM: 106,130,""']
        for name in ("+CREG", "+CGREG"):
            if u == name + "?":
                return [self.creg_line(name, writer)]
            if u == name + "=?":
                return ["%s: (0-2)" % name]
            if u.startswith(name + "="):
                try:
                    self.creg_mode[(writer, name)] = int(u[len(name) + 1:])
                except ValueError:
                    return None
                return []
        if u == "+COPS?":
            return ['+COPS: 0,2,"24405",%d' % self.act]
        if u == "+COPS=?":
            return ['+COPS: (2,"Test Operator","TestOp","24405",0),,(0-4),(0-2)']
        if u == "+CSQ":
            return ["+CSQ: %d,99" % self.csq]
        if u == "+CFUN?":
            return ["+CFUN: 1"]
        if u == "+CUSD=?":
            return ["+CUSD: (0-2)"]
        if u.startswith("+CUSD=1,"):
            self._after = self.ussd_answer
            return []
        if u.startswith("+CUSD=2"):
            return []
        if u == "+CSCS=?":
            return ['+CSCS: ("IRA","GSM","UCS2")']
        if u == "+CSCS?":
            return ['+CSCS: "GSM"']
        if u == "+CMGF=?":
            return ["+CMGF: (0)"]
        if u == "+CMGF=0":
            return []
        if u.startswith("+CMGF="):
            return None
        if u == "+CPMS=?":
            return ['+CPMS: ("SM"),("SM"),("SM")']
        if u.startswith("+CPMS"):
            if u != "+CPMS?" and any(s.strip('"') not in ("SM",) for s in u[6:].split(",")):
                return None
            used = len(self.sms)
            if u == "+CPMS?":
                return ['+CPMS: "SM",%d,%d,"SM",%d,%d,"SM",%d,%d' % ((used, SMS_SLOTS) * 3)]
            return ["+CPMS: %d,%d,%d,%d,%d,%d" % ((used, SMS_SLOTS) * 3)]
        if u == "+CNMI=?":
            return ["+CNMI: (0-2),(0-3),(0-3),(0-2),(0-1)"]
        if u.startswith("+CMGL"):
            lines = []
            for index in sorted(self.sms):
                stat, length, pdu = self.sms[index]
                lines += ["+CMGL: %d,%d,,%d" % (index, stat, length), pdu]
                self.sms[index] = (1, length, pdu)
            return lines
        if u.startswith("+CMGR="):
            try:
                index = int(u[6:])
            except ValueError:
                return None
            if index not in self.sms:
                return None
            stat, length, pdu = self.sms[index]
            self.sms[index] = (1, length, pdu)
            return ["+CMGR: %d,,%d" % (stat, length), pdu]
        if u.startswith("+CMGD="):
            try:
                index = int(u[6:].split(",")[0])
            except ValueError:
                return None
            self.sms.pop(index, None)
            return []
        return []

    def ussd_answer(self, writer):
        kind, text = self.ussd
        if kind == "never":
            return
        status = 1 if kind == "more" else 0
        # In the GSM character set that the daemon chose: each character's code (ASCII's for
        # letters and digits) as two hexadecimal digits. A byte the set lacks (0x80 and above)
        # makes the daemon refuse the reply; 1B 0A is the set's form feed.
        self.send(writer, b'+CUSD: %d,"%s",15' % (status, text.hex().upper().encode()))

    # -- the test's channel

    async def serve_control(self, reader, writer):
        try:
            while True:
                line = await reader.readline()
                if not line:
                    break
                reply = self.control(line.decode("utf-8", "replace").rstrip("\n"))
                writer.write((reply + "\n").encode())
                await writer.drain()
        finally:
            writer.close()

    def control(self, line):
        word, _, rest = line.partition(" ")
        if word == "ussd-reply":
            self.ussd = ("reply", rest.encode())
        elif word == "ussd-hex":
            self.ussd = ("reply", bytes.fromhex(rest))
        elif word == "ussd-more":
            self.ussd = ("more", rest.encode())
        elif word == "ussd-never":
            self.ussd = ("never", b"")
        elif word in ("sms", "sms-data"):
            sender, _, body = rest.partition(" ")
            free = [i for i in range(SMS_SLOTS) if i not in self.sms]
            if not free:
                return "error: storage full"
            index = free[0]
            if word == "sms":
                length, pdu = deliver_pdu(sender, text=body)
            else:
                length, pdu = deliver_pdu(sender, data=bytes.fromhex(body))
            self.sms[index] = (0, length, pdu)
            self.unsolicited('+CMTI: "SM",%d' % index)
        elif word in ("roaming", "home"):
            self.registration = 5 if word == "roaming" else 1
            for (w, name), n in list(self.creg_mode.items()):
                if n >= 1 and w in self.ports:
                    line = "%s: %d" % (name, self.registration)
                    self.send(w, line + ',"1A2B","0000C3D4",%d' % self.act if n == 2 else line)
        elif word == "signal":
            self.csq = int(rest)
        elif word == "commands":
            return "|".join(self.commands)
        else:
            return "error: unknown command"
        return "ok"


async def serve(name, log_path):
    log = open(log_path, "a") if log_path else None
    modem = Modem(log)
    # The daemon's "abstract:NAME" port connects to the abstract address "abstract:NAME".
    servers = [await asyncio.start_unix_server(modem.serve_port,
                                               path="\0abstract:%s-%d" % (name, i))
               for i in range(2)]
    # Control lines may carry a long reply (64 KB and more, hex-encoded).
    servers.append(await asyncio.start_unix_server(modem.serve_control,
                                                   path="\0%s-control" % name, limit=1 << 22))
    print("ready", flush=True)
    await asyncio.gather(*(s.serve_forever() for s in servers))


def control(name, words):
    s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    s.settimeout(10)
    s.connect("\0%s-control" % name)
    s.sendall((" ".join(words) + "\n").encode())
    answer = b""
    while not answer.endswith(b"\n"):
        chunk = s.recv(65536)
        if not chunk:
            break
        answer += chunk
    text = answer.decode("utf-8", "replace").rstrip("\n")
    print(text)
    return 0 if text and not text.startswith("error") else 1


def main(argv):
    if len(argv) >= 3 and argv[1] == "serve":
        log = argv[4] if len(argv) >= 5 and argv[3] == "--log" else None
        try:
            asyncio.run(serve(argv[2], log))
        except KeyboardInterrupt:
            pass
        return 0
    if len(argv) >= 4 and argv[1] == "control":
        return control(argv[2], argv[3:])
    sys.stderr.write(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
