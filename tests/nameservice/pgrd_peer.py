#!/usr/bin/python3
# impacket's DCE/RPC client against a running vrpgrd (argv: port, domain,
# a peer "DOMAIN=HOST"): registers, looks up, lists and deletes through
# every procedure; prints "ok", or the step whose answer was wrong.
import os
import sys

from impacket.dcerpc.v5 import transport
from impacket.uuid import uuidtup_to_bin

# The parameter classes the stub tests build with impacket, without their
# driver.
exec(open(os.path.join(os.path.dirname(__file__), '../rpc/ndr_peer.py')).read().split('\nrows = build()')[0])
for op in range(8):
    globals()['Op%d' % op] = type('Op%d' % op, (CLASSES['pgr', op][0],), {'opnum': op})
    globals()['Op%dResponse' % op] = type('Op%dResponse' % op, (CLASSES['pgr', op][1],), {})

port, dom = int(sys.argv[1]), sys.argv[2]
peer_dom, peer_host = sys.argv[3].split('=')
dce = transport.DCERPCTransportFactory('ncacn_ip_tcp:127.0.0.1[%d]' % port).get_dce_rpc()
dce.connect()
dce.bind(uuidtup_to_bin(('b1da8d70-4984-11d0-b98c-00a0248df91a', '1.1')))
text = lambda v: v.rstrip('\0') if isinstance(v, str) else None
lp = lambda s: fill(LPSTR(), Data=s)
STEPS = [
    (2, dict(id=ident(3, 'pyspool', dom), server=ident(10, None, None), force=0, members=dict(count=0),
             info=dict(count=1, bindings=[lp('u@ncacn_ip_tcp:127.0.0.1')], host='pyhost', info=5)),
     lambda r: (r['replaced'], r['result']) == (0, 0)),
    (2, dict(id=ident(6, 'pyq', dom), server=ident(3, 'pyspool', dom), force=1, members=dict(count=0),
             info=dict(count=0, host=None)), lambda r: r['result'] == 0),
    (2, dict(id=ident(8, 'pyg', dom), server=ident(10, None, None), force=0, info=dict(count=0, host=None),
             members=dict(count=1, items=[fill(IDENTITY(), **ident(6, 'pyq', dom))])),
     lambda r: r['result'] == 0),
    (0, {}, lambda r: (text(r['text']), r['result']) == (dom, 0)),
    (3, dict(id=ident(6, 'pyq', dom)), lambda r: (r['found'], text(r['server']['name']), r['info'],
                                                  r['bindings']['count'], r['result']) == (6, 'pyspool', 5, 1, 0)),
    (4, dict(id=ident(8, 'pyg', dom)), lambda r: [text(i['name']) for i in r['list']['items']] == ['pyq']),
    (5, dict(id=ident(6, 'pyq', dom)), lambda r: (text(r['text']), r['result']) == ('pyhost', 0)),
    (6, dict(domain=dom), lambda r: [text(s['Data']) for s in r['list']['strings']] == [dom, peer_dom]),
    (7, dict(domain=peer_dom), lambda r: text(r['text']) == peer_host),
    (1, dict(id=ident(8, 'pyg', dom)), lambda r: r['result'] == 0),
    (1, dict(id=ident(8, 'pyg', dom)), lambda r: r['result'] == 15),
]
for n, (op, values, check) in enumerate(STEPS):
    answer = dce.request(fill(globals()['Op%d' % op](), **values), checkError=False)
    if not check(answer):
        print('step', n, 'procedure', op)
        answer.dump()
        sys.exit(1)
dce.disconnect()
print('ok')
