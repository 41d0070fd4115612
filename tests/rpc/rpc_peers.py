#!/usr/bin/python3
"""Independent peers of the RPC runtime's tests.

  rpc_peers.py impacket PORT [CAPTURE]  impacket's client against our server
                                        (CAPTURE: record the traffic and check
                                        it with tshark)
  rpc_peers.py samba PORT               samba's client against our server
  rpc_peers.py server                   a server with its own framing for our
                                        client; prints "port N pid P"
Exit status 0 when every check holds; failures are printed.
"""
import os
import signal
import socket
import socketserver
import struct
import subprocess
import sys
import time

IFACE = '3f0c9a52-6d1e-4b7a-8c25-41e0d9b7a613'
ECHO, FAULT, SLEEP, ANSWER, OBJECT = range(5)
failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
        print('FAIL', what, flush=True)


def pattern(n):
    return bytes((i * 7 + (i >> 8)) & 0xff for i in range(n))


def impacket_client(port, capture):
    from impacket.dcerpc.v5 import transport
    from impacket.dcerpc.v5.rpcrt import DCERPCException
    from impacket.uuid import uuidtup_to_bin

    tshark = None
    if capture:
        tshark = subprocess.Popen(['tshark', '-i', 'lo', '-f', 'tcp port %d' % port, '-w', capture],
                                  stderr=subprocess.PIPE, stdout=subprocess.DEVNULL)
        for line in tshark.stderr:
            if b'Capturing on' in line:
                break
        time.sleep(0.3)

    def connect(iface=IFACE):
        t = transport.DCERPCTransportFactory('ncacn_ip_tcp:127.0.0.1[%d]' % port)
        dce = t.get_dce_rpc()
        dce.connect()
        dce.bind(uuidtup_to_bin((iface, '1.0')))
        return dce

    def call(dce, op, data):
        dce.call(op, data)
        return dce.recv()

    dce = connect()
    check(call(dce, ECHO, b'abc') == b'abc', 'impacket small echo')
    big = os.urandom(100 * 1024)
    dce.set_max_fragment_size(1000)
    check(call(dce, ECHO, big) == big, 'impacket 100 KiB echo in 1000-byte fragments')
    dce.set_max_fragment_size(-1)
    check(call(dce, ECHO, big) == big, 'impacket 100 KiB echo in negotiated fragments')
    check(call(dce, ANSWER, struct.pack('<L', 300 * 1024)) == pattern(300 * 1024),
          'impacket 300 KiB response')
    dce.call(OBJECT, b'', uuid=bytes(range(16)))
    check(dce.recv() == bytes(range(16)), 'impacket object identifier')
    for op, data, text in ((9, b'', 'nca_s_op_rng_error'), (FAULT, struct.pack('<L', 0x1c010003), 'nca_s_unk_if')):
        try:
            call(dce, op, data)
            check(False, 'impacket fault %s' % text)
        except DCERPCException as e:
            check(text in str(e), 'impacket fault %s: %s' % (text, e))
    check(call(dce, ECHO, b'after faults') == b'after faults', 'impacket call after faults')
    dce.disconnect()
    try:
        connect('00000000-1111-2222-3333-444444444444')
        check(False, 'impacket bind of an unknown interface')
    except DCERPCException as e:
        check('abstract_syntax_not_supported' in str(e), 'impacket unknown interface: %s' % e)

    if tshark:
        time.sleep(0.5)
        tshark.send_signal(signal.SIGTERM)
        tshark.wait(10)
        decode = ['-d', 'tcp.port==%d,dcerpc' % port]
        bad = subprocess.run(['tshark', '-r', capture] + decode +
                             ['-Y', '_ws.malformed || _ws.expert.severity == "Error"'],
                             capture_output=True, text=True).stdout.strip()
        check(bad == '', 'tshark finds malformed packets:\n' + bad)
        fields = subprocess.run(['tshark', '-r', capture] + decode +
                                ['-Y', 'dcerpc', '-T', 'fields', '-e', 'dcerpc.pkt_type',
                                 '-e', 'dcerpc.cn_frag_len', '-e', 'dcerpc.cn_max_recv'],
                                capture_output=True, text=True).stdout.split('\n')
        rows = [r.split('\t') for r in fields if r.strip()]
        types = set()
        limit = 65535
        for r in rows:
            for t, n in zip(r[0].split(','), r[1].split(',')):
                types.add(int(t))
                if int(t) == 12 and len(r) > 2 and r[2]:
                    limit = min(limit, int(r[2].split(',')[0]))
                check(int(n) <= limit, 'a fragment of %s bytes over %d' % (n, limit))
        check({0, 2, 3, 11, 12}.issubset(types), 'capture lacks packet types: %s' % sorted(types))


def samba_client(port):
    from samba.dcerpc import base
    c = base.ClientConnection('ncacn_ip_tcp:127.0.0.1[%d]' % port, (IFACE, 1))
    check(c.request(ECHO, b'abc') == b'abc', 'samba small echo')
    big = os.urandom(100 * 1024)
    check(c.request(ECHO, big) == big, 'samba 100 KiB echo')
    check(c.request(ANSWER, struct.pack('<L', 300 * 1024)) == pattern(300 * 1024), 'samba 300 KiB response')


# The server: one thread per connection, its own framing. Operations: 0
# echoes in fragments of 1000 stub bytes, 1 faults with the status given,
# 2 answers with another call id, 3 closes after the first fragment, 4
# never answers and reports what the client sends next, 5 announces 4 GiB,
# 6 answers in 10000 fragments of one byte.
HDR = struct.Struct('<BBBBLHHL')


def pdu(ptype, flags, call_id, body, auth=b''):
    return HDR.pack(5, 0, ptype, flags, 0x10, 16 + len(body) + len(auth), max(0, len(auth) - 8), call_id) + body + auth


class Handler(socketserver.BaseRequestHandler):
    def read(self, n):
        b = b''
        while len(b) < n:
            k = self.request.recv(n - len(b))
            if not k:
                raise EOFError
            b += k
        return b

    def packet(self):
        h = self.read(16)
        _, _, ptype, flags, _, flen, alen, call_id = HDR.unpack(h)
        body = self.read(flen - 16)
        auth = b''
        if alen:
            auth, body = body[-alen - 8:], body[:-alen - 8]
        return ptype, flags, call_id, body, auth

    def response(self, call_id, stub, room=1000, alloc=None):
        out = b''
        at = 0
        while True:
            piece = stub[at:at + room]
            flags = (1 if at == 0 else 0) | (2 if at + len(piece) >= len(stub) else 0)
            hint = len(stub) - at if alloc is None else alloc
            out += pdu(2, flags, call_id, struct.pack('<LHBB', hint, 0, 0, 0) + piece)
            at += len(piece)
            if at >= len(stub):
                return out

    def handle(self):
        authed = None
        request = b''
        try:
            while True:
                ptype, flags, call_id, body, auth = self.packet()
                if ptype == 11:
                    iface = body[16:32]
                    ok = iface == socket_uuid(IFACE)
                    result = struct.pack('<HH', 0, 0) + socket_uuid('8a885d04-1ceb-11c9-9fe8-08002b104860') + struct.pack('<L', 2) \
                        if ok else struct.pack('<HH', 2, 1) + b'\0' * 20
                    port = str(self.server.server_address[1]).encode() + b'\0'
                    b = struct.pack('<HHLH', 5840, 5840, 0x1234, len(port)) + port
                    b += b'\0' * ((-(16 + len(b))) % 4) + struct.pack('<BBH', 1, 0, 0) + result
                    tail = b''
                    if auth:
                        authed = False
                        b += b'\0' * ((-(16 + len(b))) % 4)
                        tail = auth[:8] + b'challenge'
                    self.request.sendall(pdu(12, 3, call_id, b, tail))
                elif ptype == 16:
                    authed = auth[8:] == b'secret'
                elif ptype == 0:
                    stub_at = 8 + (16 if flags & 0x80 else 0)
                    opnum = struct.unpack('<H', body[6:8])[0]
                    request += body[stub_at:]
                    if not flags & 2:
                        continue
                    data, request = request, b''
                    if authed is False:
                        self.request.sendall(pdu(3, 3, call_id, struct.pack('<LHBBLL', 0, 0, 0, 0, 5, 0)))
                    elif opnum == ECHO:
                        self.request.sendall(self.response(call_id, data))
                    elif opnum == FAULT:
                        status = struct.unpack('<L', data[:4])[0]
                        self.request.sendall(pdu(3, 3, call_id, struct.pack('<LHBBLL', 0, 0, 0, 0, status, 0)))
                    elif opnum == 2:
                        self.request.sendall(self.response(call_id + 1, data))
                    elif opnum == 3:
                        self.request.sendall(self.response(call_id, b'x' * 3000)[:1100])
                        return
                    elif opnum == 4:
                        seen = []
                        try:
                            while True:
                                seen.append(str(self.packet()[0]))
                        except EOFError:
                            print('after time-out:', ' '.join(seen), flush=True)
                            return
                    elif opnum == 5:
                        self.request.sendall(self.response(call_id, b'x' * 100, alloc=0xffffffff))
                    elif opnum == 6:
                        self.request.sendall(self.response(call_id, b'x' * 10000, room=1))
        except (EOFError, ConnectionError):
            pass


def socket_uuid(text):
    import uuid
    return uuid.UUID(text).bytes_le


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def serve():
    srv = Server(('127.0.0.1', 0), Handler)
    print('port %d pid %d' % (srv.server_address[1], os.getpid()), flush=True)
    srv.serve_forever()


if __name__ == '__main__':
    mode = sys.argv[1]
    if mode == 'server':
        serve()
    elif mode == 'impacket':
        impacket_client(int(sys.argv[2]), sys.argv[3] if len(sys.argv) > 3 else None)
    elif mode == 'samba':
        samba_client(int(sys.argv[2]))
    print('failures: %d' % len(failures), flush=True)
    sys.exit(1 if failures else 0)
