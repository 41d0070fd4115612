#!/usr/bin/python3
# impacket's DCE/RPC client, authenticated as alice, calls every procedure of
# a running vrpgrd (argv: port, password, domain, peer "DOMAIN=HOST").
import os
import sys

from impacket.dcerpc.v5 import rpcrt, transport
from impacket.uuid import uuidtup_to_bin

# The parameter classes the stub tests build with impacket, without their driver.
exec(open(os.path.join(os.path.dirname(__file__), '../rpc/ndr_peer.py')).read().split('\nrows = build()')[0])
port, password, dom, peer = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4].split('=')
dce = transport.DCERPCTransportFactory('ncacn_ip_tcp:127.0.0.1[%d]' % port).get_dce_rpc()
dce.set_credentials('alice', password, 'ANY')
dce.set_auth_type(rpcrt.RPC_C_AUTHN_WINNT)
dce.set_auth_level(rpcrt.RPC_C_AUTHN_LEVEL_CONNECT)
dce.connect()
dce.bind(uuidtup_to_bin(('b1da8d70-4984-11d0-b98c-00a0248df91a', '1.1')))
text = lambda v: v.rstrip('\0') if isinstance(v, str) else None
spool = ident(3, 'pyspool', dom)
STEPS = [
    (2, dict(id=spool, server=ident(10, None, None), force=0, members=dict(count=0),
             info=dict(count=1, bindings=[fill(LPSTR(), Data='u@ncacn_ip_tcp:127.0.0.1')], host='pyhost', info=5)),
     lambda r: (r['replaced'], r['result']) == (0, 0)),
    (0, {}, lambda r: (text(r['text']), r['result']) == (dom, 0)),
    (3, dict(id=spool), lambda r: (r['found'], r['info'], r['bindings']['count'], r['result']) == (3, 5, 1, 0)),
    (4, dict(id=ident(3, None, dom)), lambda r: 'pyspool' in [text(i['name']) for i in r['list']['items']]),
    (5, dict(id=spool), lambda r: (text(r['text']), r['result']) == ('pyhost', 0)),
    (6, dict(domain=dom), lambda r: [text(s['Data']) for s in r['list']['strings']] == [dom, peer[0]]),
    (7, dict(domain=peer[0]), lambda r: text(r['text']) == peer[1]),
    (1, dict(id=spool), lambda r: r['result'] == 0),
]
for n, (op, values, check) in enumerate(STEPS):
    dce.call(op, fill(CLASSES['pgr', op][0](), **values))
    if not check(answer := CLASSES['pgr', op][1](dce.recv())):
        answer.dump()
        sys.exit('step %d: a wrong answer' % n)
