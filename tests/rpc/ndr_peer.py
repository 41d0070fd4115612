#!/usr/bin/python3
# Independent NDR for the stub tests: builds the in and out parameters of
# every procedure of the three interfaces with impacket (random referent
# ids, non-zero pad bytes) and prints "<interface> <opnum> <in|out> <hex>",
# then a TCP tower of impacket's floor classes as "tower <hex>". With a
# file of such lines it reads each with impacket instead and prints "ok" or
# "bad" and the row: whether the values are those it builds.
import random
import socket
import sys

from impacket.dcerpc.v5 import epm
from impacket.dcerpc.v5.dtypes import LPSTR, NULL, ULONG, USHORT, STR
from impacket.dcerpc.v5.ndr import NDR, NDRCALL, NDRPOINTER, NDRSTRUCT, NDRArray, NDRUniConformantArray
from impacket.uuid import string_to_bin

random.seed(20)


def struct(*fields, base=NDRSTRUCT):
    return type('S', (base,), {'structure': fields})


ptr = lambda cls: type('P', (NDRPOINTER,), {'referent': (('Data', cls),)})
array = lambda cls: type('A', (NDRUniConformantArray,), {'item': cls})
call = lambda *fields: struct(*fields, base=NDRCALL)


PACKET = struct(('length', ULONG), ('bytes', NDRUniConformantArray))
IDENTITY = struct(('cls', USHORT), ('name', LPSTR), ('domain', LPSTR))
STRINGS = ptr(array(LPSTR))
STRING_LIST = struct(('count', ULONG), ('strings', STRINGS))
SERVER_INFO = struct(('count', ULONG), ('bindings', STRINGS), ('host', LPSTR), ('info', ULONG))
IDENTITY_LIST = struct(('count', ULONG), ('items', ptr(array(IDENTITY))))
ID, RESULT, TEXT_OUT = ('id', IDENTITY), ('result', ULONG), call(('text', LPSTR), ('result', ULONG))
ENTRIES = ('num_ents', ULONG), ('entries', array(epm.ept_entry_t))
CLASSES = {
    ('dpa', 0): (call(('operation', USHORT), ('request', PACKET)),
                 call(('result', ptr(PACKET)), ('error', ptr(PACKET)), ('kind', USHORT), ('status', ULONG))),
    ('pgr', 0): (call(), TEXT_OUT), ('pgr', 1): (call(ID), call(RESULT)),
    ('pgr', 2): (call(ID, ('server', IDENTITY), ('force', ULONG), ('info', SERVER_INFO),
                      ('members', IDENTITY_LIST)), call(('replaced', ULONG), RESULT)),
    ('pgr', 3): (call(ID), call(('server', IDENTITY), ('bindings', STRING_LIST), ('info', ULONG),
                                ('found', USHORT), RESULT)),
    ('pgr', 4): (call(ID), call(('list', IDENTITY_LIST), RESULT)), ('pgr', 5): (call(ID), TEXT_OUT),
    ('pgr', 6): (call(('domain', LPSTR)), call(('list', STRING_LIST), RESULT)),
    ('pgr', 7): (call(('domain', LPSTR)), TEXT_OUT),
    ('epm', 0): (call(*ENTRIES, ('replace', ULONG)), call(('status', ULONG))),
    ('epm', 1): (call(*ENTRIES), call(('status', ULONG))),
    ('epm', 2): (epm.ept_lookup, epm.ept_lookupResponse), ('epm', 3): (epm.ept_map, epm.ept_mapResponse),
    ('epm', 4): (call(('entry_handle', epm.ept_lookup_handle_t)),
                 call(('entry_handle', epm.ept_lookup_handle_t), ('status', ULONG))),
}
OBJECT = '6c1f3a52-0d3e-4b8e-9a61-5e2f7c9d0a14'
NAMES = (3, 'lp1', 'westlab'), (4, '', 'westlab'), (1, None, None)


def tower(port, address):
    f = [epm.EPMRPCInterface(), epm.EPMRPCDataRepresentation(), epm.EPMProtocolIdentifier(),
         epm.EPMPortAddr(), epm.EPMHostAddr()]
    f[0]['InterfaceUUID'], f[0]['MajorVersion'], f[0]['MinorVersion'] = string_to_bin(
        'b1da8d70-4984-11d0-b98c-00a0248df91a'), 1, 1
    f[1]['DataRepUuid'], f[1]['MajorVersion'] = string_to_bin('8a885d04-1ceb-11c9-9fe8-08002b104860'), 2
    f[2]['ProtIdentifier'], f[3]['IpPort'], f[4]['Ip4addr'] = 0x0b, port, socket.inet_aton(address)
    t = epm.EPMTower()
    t['NumberOfFloors'], t['Floors'] = len(f), b''.join(x.getData() for x in f)
    return t.getData()


def fill(v, **values):
    """Sets the members of an impacket value from Python values: str is a
    NUL-terminated string, None a null pointer, a list the array's items,
    (bytes,) a tower, a dict a structure."""
    for name, x in values.items():
        if isinstance(x, dict):
            fill(v[name], **x)
        elif isinstance(x, list):
            for item in x:
                v[name].append(item)
        elif isinstance(x, tuple):
            v[name] = epm.twr_p_t()
            v[name]['tower_length'], v[name]['tower_octet_string'] = len(x[0]), x[0]
        else:
            v[name] = NULL if x is None else x + '\0' if isinstance(x, str) else x
    return v


ident = lambda cls, name, domain: dict(cls=cls, name=name, domain=domain)


def build():
    t1, t2 = tower(2001, '10.0.0.5'), tower(0, '0.0.0.0')
    lp = lambda s: fill(LPSTR(), Data=s)
    ids = [fill(IDENTITY(), **ident(*n)) for n in NAMES]
    entry = lambda tw, note: fill(epm.ept_entry_t(), object=string_to_bin(OBJECT), tower=tw and (tw,),
                                  annotation=note.encode() + b'\0')
    binding = OBJECT + '@ncacn_ip_tcp:10.0.0.5[2001]'
    handle = dict(context_handle_attributes=0, context_handle_uuid=string_to_bin(OBJECT))
    rows = [
        ('dpa', 0, 'in', dict(operation=14, request=dict(length=5, bytes=b'\x30\x03\x02\x01\x07'))),
        ('dpa', 0, 'out', dict(result=dict(length=3, bytes=b'\x30\x01\x00'), error=None, kind=0, status=0)),
        ('dpa', 0, 'out', dict(result=None, error=dict(length=2, bytes=b'\xa1\x00'), kind=10, status=1726)),
        ('pgr', 0, 'in', {}), ('pgr', 0, 'out', dict(text='westlab', result=0)),
        ('pgr', 1, 'in', dict(id=ident(3, 'lp1', 'westlab'))), ('pgr', 1, 'out', dict(result=1)),
        ('pgr', 2, 'in', dict(id=ident(2, 'spool1', 'westlab'), server=ident(1, 'srv', None), force=1,
                              info=dict(count=2, bindings=[lp(binding), lp('x')], host='host5', info=0x12),
                              members=dict(count=3, items=ids))),
        ('pgr', 2, 'out', dict(replaced=1, result=2)), ('pgr', 3, 'in', dict(id=ident(3, '', 'westlab'))),
        ('pgr', 3, 'out', dict(server=ident(1, 'srv', 'westlab'), found=2, info=7, result=3,
                               bindings=dict(count=3, strings=[lp('a'), lp(binding), lp('')]))),
        ('pgr', 4, 'in', dict(id=ident(3, None, 'westlab'))),
        ('pgr', 4, 'out', dict(list=dict(count=0, items=None), result=4)),
        ('pgr', 4, 'out', dict(list=dict(count=3, items=ids), result=0)),
        ('pgr', 5, 'in', dict(id=ident(5, 'q', None))), ('pgr', 5, 'out', dict(text=None, result=5)),
        ('pgr', 6, 'in', dict(domain=None)),
        ('pgr', 6, 'out', dict(list=dict(count=2, strings=[lp('westlab'), lp('north')]), result=6)),
        ('pgr', 7, 'in', dict(domain='westlab')), ('pgr', 7, 'out', dict(text='host5', result=7)),
        ('epm', 0, 'in', dict(num_ents=2, entries=[entry(t1, 'name server'), entry(None, '')], replace=1)),
        ('epm', 0, 'out', dict(status=0)), ('epm', 1, 'out', dict(status=0x16c9a0d6)),
        ('epm', 1, 'in', dict(num_ents=1, entries=[entry(t1, 'x' * 63)])),
        ('epm', 2, 'in', dict(inquiry_type=1, object=None, vers_option=1, entry_handle=handle, max_ents=4,
                              Ifid=dict(Uuid=string_to_bin(OBJECT), VersMajor=1, VersMinor=1))),
        ('epm', 2, 'out', dict(entry_handle=handle, num_ents=2, status=0,
                               entries=[entry(t1, 'name server'), entry(None, '')])),
        ('epm', 3, 'in', dict(obj=string_to_bin(OBJECT), map_tower=(t2,), max_towers=4)),
        ('epm', 3, 'out', dict(num_towers=2, status=0, ITowers=[
            fill(epm.twr_p_t(), tower_length=len(t), tower_octet_string=t)
            for t in (t1, tower(2002, '127.0.0.1'))])),
        ('epm', 4, 'in', dict(entry_handle=handle)), ('epm', 4, 'out', dict(entry_handle=handle, status=0)),
    ]
    out = []
    for iface, op, way, values in rows:
        v = fill(CLASSES[iface, op][way == 'out'](), **values)
        for name in ('entries', 'ITowers'):  # room for 4, 2 of them sent
            if way == 'out' and name in v.fields and op > 1:
                v.fields[name].fields['MaximumCount'] = 4
        out.append((f'{iface} {op} {way}', v))
    return out


def canon(o):
    """The values of an impacket object, without referent ids."""
    if isinstance(o, NDRPOINTER):
        return None if o.fields['ReferentID'] == 0 else canon(o.fields['Data'])
    if isinstance(o, (NDRArray, STR)):
        d = o.fields['Data']
        if isinstance(d, list) and d and not isinstance(d[0], NDR):
            d = bytes(x if isinstance(x, int) else ord(x) for x in d)
        d = d.encode('latin-1') if isinstance(d, str) else d
        return o.fields.get('MaximumCount'), [canon(x) for x in d] if isinstance(d, list) else d
    if isinstance(o, (NDRSTRUCT, NDRCALL)):
        return [(n, canon(o.fields[n])) for n, _ in o.structure]
    return o.fields['Data'] if isinstance(o, NDR) else o


rows = build()
if len(sys.argv) == 1:
    for name, v in rows:
        print(name, v.getData().hex())
    print('tower', tower(2001, '10.0.0.5').hex())
    sys.exit()
for (name, v), line in zip(rows, open(sys.argv[1])):
    got = line.split() + ['']
    try:
        same = canon(type(v)(bytes.fromhex(got[3]))) == canon(type(v)(v.getData()))
    except Exception:  # impacket could not read it at all
        same = False
    print('ok' if same and ' '.join(got[:3]) == name else 'bad', name)
