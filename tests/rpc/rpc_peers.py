#!/usr/bin/python3
"""Independent peers of the RPC runtime's tests; exit status 0 when every check holds.
  rpc_peers.py clients PORT CAPTURE [NTLM_PORT]   the same, and NTLM clients against our server requiring NTLM
  rpc_peers.py server                 a server of its own framing for our client; prints "port N pid P"
"""
import os, signal, socket, socketserver, struct, subprocess, sys, time, uuid
import ntlm_peer  # impacket's NTLM: the server's CHALLENGE and its verification of an AUTHENTICATE

IFACE = '3f0c9a52-6d1e-4b7a-8c25-41e0d9b7a613'
ECHO, FAULT, SLEEP, ANSWER, OBJECT = range(5)
failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
        print('FAIL', what, flush=True)


def pattern(n):
    return bytes((i * 7 + (i >> 8)) & 0xff for i in range(n))


def clients(port, capture, ntlm_port=0):
    from impacket.dcerpc.v5 import transport
    from impacket.dcerpc.v5.rpcrt import DCERPCException
    from impacket.uuid import uuidtup_to_bin
    tshark = subprocess.Popen(['tshark', '-i', 'lo', '-f', 'tcp port %d or tcp port %d' % (port, ntlm_port), '-w', capture],
                              stderr=subprocess.PIPE, stdout=subprocess.DEVNULL)
    for line in tshark.stderr:
        if b'Capturing on' in line:
            break
    time.sleep(0.3)

    def connect(iface=IFACE, syntax=('8a885d04-1ceb-11c9-9fe8-08002b104860', '2.0')):
        dce = transport.DCERPCTransportFactory('ncacn_ip_tcp:127.0.0.1[%d]' % port).get_dce_rpc()
        dce.connect()
        dce.bind(uuidtup_to_bin((iface, '1.0')), transfer_syntax=syntax)
        return dce

    def call(dce, op, data, obj=None):
        dce.call(op, data, obj)
        return dce.recv()

    dce = connect()
    big = os.urandom(100 * 1024)
    for size in (1000, -1):
        dce.set_max_fragment_size(size)
        check(call(dce, ECHO, big) == big, 'impacket 100 KiB echo in fragments of %d' % size)
    check(call(dce, ANSWER, struct.pack('<L', 300 * 1024)) == pattern(300 * 1024), 'impacket 300 KiB response')
    check(call(dce, OBJECT, b'', bytes(range(16))) == bytes(range(16)), 'impacket object identifier')
    for op, data, text in ((9, b'', 'nca_s_op_rng_error'), (FAULT, struct.pack('<L', 0x1c010003), 'nca_s_unk_if')):
        try:
            check(call(dce, op, data) is None, 'impacket fault ' + text)
        except DCERPCException as e:
            check(text in str(e), 'impacket fault %s: %s' % (text, e))
    check(call(dce, ECHO, b'abc') == b'abc', 'impacket call after faults')
    for args, text in ((('00000000-1111-2222-3333-444444444444',), 'abstract_syntax_not_supported'),
                       ((IFACE, ('71710533-beba-4937-8319-b5dbef9ccc36', '1.0')), 'proposed_transfer_syntaxes_not_supported')):
        try:
            check(connect(*args) is None, 'impacket bind refused')
        except DCERPCException as e:
            check(text in str(e), 'impacket bind refused: %s' % e)
    samba_client(port)
    if ntlm_port:
        ntlm_clients(ntlm_port)
    time.sleep(0.5)
    tshark.send_signal(signal.SIGTERM)
    tshark.wait(10)
    read = ['tshark', '-r', capture, '-d', 'tcp.port==%d,dcerpc' % port, '-d', 'tcp.port==%d,dcerpc' % ntlm_port, '-Y']
    bad = subprocess.run(read + ['_ws.malformed || _ws.expert.severity == "Error"'], capture_output=True, text=True)
    check(bad.stdout.strip() == '', 'tshark finds malformed packets:\n' + bad.stdout)
    rows = subprocess.run(read + ['dcerpc', '-T', 'fields', '-e', 'tcp.stream', '-e', 'dcerpc.pkt_type', '-e',
                                  'dcerpc.cn_frag_len', '-e', 'dcerpc.cn_max_recv', '-e', 'dcerpc.cn_ack_result'],
                          capture_output=True, text=True).stdout.split('\n')
    types, limits, results, over = set(), {}, set(), []
    for stream, ptypes, lengths, max_recv, result in [r.split('\t') for r in rows if r.strip()]:
        results.update(result.split(','))
        for t, n in zip(ptypes.split(','), lengths.split(',')):
            types.add(int(t))
            if int(t) in (11, 12):  # either side takes fragments up to the least offered
                limits[stream] = min(limits.get(stream, 65535), int(max_recv.split(',')[0]))
            over += [] if int(n) <= limits.get(stream, 0) else ['%s > %s' % (n, limits.get(stream))]
    check(not over, 'fragments over the size negotiated: %s' % over[:3])
    check({0, 2, 3, 11, 12, 16 if ntlm_port else 0}.issubset(types), 'capture lacks packet types: %s' % sorted(types))
    check({'0', '2', '3'}.issubset(results), 'bind results: %s' % results)  # accepted, refused, negotiated


def samba_client(port):
    from samba.dcerpc import base
    c = base.ClientConnection('ncacn_ip_tcp:127.0.0.1[%d]' % port, (IFACE, 1))
    big = os.urandom(100 * 1024)
    check(c.request(ECHO, big) == big, 'samba 100 KiB echo')
    check(c.request(ANSWER, struct.pack('<L', 300 * 1024)) == pattern(300 * 1024), 'samba 300 KiB response')


def ntlm_clients(port):
    """impacket's NTLMv2 and NTLMv1 clients and samba's unauthenticated one against a server requiring NTLM."""
    from impacket import ntlm
    from impacket.dcerpc.v5 import rpcrt, transport
    from impacket.uuid import uuidtup_to_bin
    from samba.dcerpc import base
    for version, password in ((2, 'Secret1'), (2, 'wrong'), (1, 'Secret1'), (1, 'wrong')):
        ntlm.USE_NTLMv2 = version == 2
        dce = transport.DCERPCTransportFactory('ncacn_ip_tcp:127.0.0.1[%d]' % port).get_dce_rpc()
        dce.set_credentials('alice', password, 'ANY')
        dce.set_auth_type(rpcrt.RPC_C_AUTHN_WINNT)
        dce.set_auth_level(rpcrt.RPC_C_AUTHN_LEVEL_CONNECT)
        dce.connect()
        dce.bind(uuidtup_to_bin((IFACE, '1.0')))
        dce.call(ECHO, b'abc')
        try:
            answer = dce.recv()
        except rpcrt.DCERPCException as e:
            answer = str(e)
        want = b'abc' if password == 'Secret1' else 'rpc_s_access_denied'
        check(answer == want, 'impacket NTLMv%d with %s: %s' % (version, password, answer))
    try:
        answer = base.ClientConnection('ncacn_ip_tcp:127.0.0.1[%d]' % port, (IFACE, 1)).request(ECHO, b'')
    except RuntimeError as e:
        answer = e.args[0]
    check(answer == 0xc0000022, 'samba without authentication: %s' % (answer,))


HDR = struct.Struct('<BBBBLHHL')


def pdu(ptype, call_id, body, auth=b'', flags=3):
    return HDR.pack(5, 0, ptype, flags, 0x10, 16 + len(body) + len(auth), max(0, len(auth) - 8), call_id) + body + auth


class Handler(socketserver.BaseRequestHandler):
    """Operations: 0 echoes in fragments of 1000 bytes, 1 faults with the status given, 2 answers with
    another call id, 3 closes inside its answer, 4 never answers and reports what the client sends
    next, 5 announces 4 GiB, 6 answers in 10000 fragments. NTLM's alice/Secret1 logs on in domain ANY."""

    def read(self, n):
        b = self.request.recv(n, socket.MSG_WAITALL) if n else b''
        if len(b) < n:
            raise EOFError
        return b

    def packet(self):
        _, _, ptype, flags, _, flen, alen, call_id = HDR.unpack(self.read(16))
        body = self.read(flen - 16)
        cut = len(body) - (alen + 8 if alen else 0)
        return ptype, flags, call_id, body[:cut], body[cut:]

    def response(self, call_id, stub, room=1000, alloc=None):
        out, at = b'', 0
        while True:
            piece = stub[at:at + room]
            flags = (1 if at == 0 else 0) | (2 if at + len(piece) >= len(stub) else 0)
            out += pdu(2, call_id, struct.pack('<LL', len(stub) - at if alloc is None else alloc, 0) + piece, flags=flags)
            at += len(piece)
            if at >= len(stub):
                return out

    def handle(self):
        authed, request, send, handshake = None, b'', self.request.sendall, ()
        fault = lambda call_id, status: pdu(3, call_id, struct.pack('<LLLL', 0, 0, status, 0))
        try:
            while True:
                ptype, flags, call_id, body, auth = self.packet()
                if ptype == 11:
                    ndr = uuid.UUID('8a885d04-1ceb-11c9-9fe8-08002b104860').bytes_le + struct.pack('<L', 2)
                    ok = body[16:32] == uuid.UUID(IFACE).bytes_le
                    port = b'%d\0' % self.server.server_address[1]
                    b = struct.pack('<HHLH', 5840, 5840, 0x1234, len(port)) + port
                    b += b'\0' * ((-len(b)) % 4) + struct.pack('<L', 1)
                    b += struct.pack('<L', 0) + ndr if ok else struct.pack('<HH', 2, 1) + b'\0' * 20
                    if auth:
                        authed, handshake = False, (auth[8:], bytes.fromhex(ntlm_peer.challenge('v2')))
                        auth = auth[:8] + handshake[1]
                    send(pdu(12, call_id, b, auth))
                elif ptype == 16:
                    authed = ntlm_peer.verify('alice', 'Secret1', 'ANY', *handshake, auth[8:]).startswith('ok')
                elif ptype == 0:
                    opnum = struct.unpack('<H', body[6:8])[0]
                    request += body[8 + (16 if flags & 0x80 else 0):]
                    if not flags & 2:
                        continue
                    data, request = request, b''
                    if authed is False:
                        send(fault(call_id, 5))
                    elif opnum == FAULT:
                        send(fault(call_id, struct.unpack('<L', data[:4])[0]))
                    elif opnum == 3:
                        send(self.response(call_id, b'x' * 3000)[:1100])
                        return
                    elif opnum == 4:
                        seen = []
                        try:
                            while True:
                                seen.append(str(self.packet()[0]))
                        except EOFError:
                            print('after time-out:', ' '.join(seen), flush=True)
                            return
                    else:
                        send(self.response(call_id + (opnum == 2), data or b'x' * 10000, room=1 if opnum == 6 else 1000,
                                           alloc=0xffffffff if opnum == 5 else None))
        except (EOFError, ConnectionError):
            pass


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = allow_reuse_address = True


if __name__ == '__main__':
    if sys.argv[1] == 'server':
        srv = Server(('127.0.0.1', 0), Handler)
        print('port %d pid %d' % (srv.server_address[1], os.getpid()), flush=True)
        srv.serve_forever()
    else:
        clients(int(sys.argv[2]), sys.argv[3], *map(int, sys.argv[4:]))
    print('failures: %d' % len(failures), flush=True)
    sys.exit(1 if failures else 0)
