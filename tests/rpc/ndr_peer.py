#!/usr/bin/python3
# Independent NDR for the stub tests: builds every procedure's in and out
# parameters of the three interfaces with impacket and prints them as
# "<interface> <opnum> <in|out> <hex>" (impacket writes random referent
# ids and non-zero pad bytes), then a TCP tower built from impacket's floor
# classes as "tower <hex>". With a file argument it decodes each such line
# of the file with impacket instead and prints "ok ..." when the values
# equal those it builds, "bad ..." otherwise.
import random
import socket
import sys

from impacket.dcerpc.v5 import epm
from impacket.dcerpc.v5.dtypes import LPSTR, NULL, ULONG, USHORT, UUID, STR
from impacket.dcerpc.v5.ndr import (NDR, NDRCALL, NDRPOINTER, NDRSTRUCT, NDRArray,
                                    NDRUniConformantArray)
from impacket.uuid import string_to_bin, uuidtup_to_bin

random.seed(20)


class PACKET(NDRSTRUCT):
    structure = (('length', ULONG), ('bytes', NDRUniConformantArray))


class PPACKET(NDRPOINTER):
    referent = (('Data', PACKET),)


class DpaIn(NDRCALL):
    structure = (('operation', USHORT), ('request', PACKET))


class DpaOut(NDRCALL):
    structure = (('result', PPACKET), ('error', PPACKET), ('kind', USHORT), ('status', ULONG))


class IDENTITY(NDRSTRUCT):
    structure = (('cls', USHORT), ('name', LPSTR), ('domain', LPSTR))


class STRINGS(NDRUniConformantArray):
    item = LPSTR


class PSTRINGS(NDRPOINTER):
    referent = (('Data', STRINGS),)


class STRING_LIST(NDRSTRUCT):
    structure = (('count', ULONG), ('strings', PSTRINGS))


class SERVER_INFO(NDRSTRUCT):
    structure = (('count', ULONG), ('bindings', PSTRINGS), ('host', LPSTR), ('info', ULONG))


class IDENTITIES(NDRUniConformantArray):
    item = IDENTITY


class PIDENTITIES(NDRPOINTER):
    referent = (('Data', IDENTITIES),)


class IDENTITY_LIST(NDRSTRUCT):
    structure = (('count', ULONG), ('items', PIDENTITIES))


def call(*fields):
    class Call(NDRCALL):
        structure = fields
    return Call


PGR_IN = {0: call(), 1: call(('id', IDENTITY)),
          2: call(('id', IDENTITY), ('server', IDENTITY), ('force', ULONG), ('info', SERVER_INFO),
                  ('members', IDENTITY_LIST)),
          3: call(('id', IDENTITY)), 4: call(('id', IDENTITY)), 5: call(('id', IDENTITY)),
          6: call(('domain', LPSTR)), 7: call(('domain', LPSTR))}
TEXT_OUT = call(('text', LPSTR), ('result', ULONG))
PGR_OUT = {0: TEXT_OUT, 1: call(('result', ULONG)), 2: call(('replaced', ULONG), ('result', ULONG)),
           3: call(('server', IDENTITY), ('bindings', STRING_LIST), ('info', ULONG),
                   ('found', USHORT), ('result', ULONG)),
           4: call(('list', IDENTITY_LIST), ('result', ULONG)), 5: TEXT_OUT,
           6: call(('list', STRING_LIST), ('result', ULONG)), 7: TEXT_OUT}


class ENTRIES(NDRUniConformantArray):
    item = epm.ept_entry_t


EPM_IN = {0: call(('num_ents', ULONG), ('entries', ENTRIES), ('replace', ULONG)),
          1: call(('num_ents', ULONG), ('entries', ENTRIES)), 2: epm.ept_lookup, 3: epm.ept_map}
EPM_OUT = {0: call(('status', ULONG)), 1: call(('status', ULONG)), 2: epm.ept_lookupResponse,
           3: epm.ept_mapResponse}

OBJECT = '6c1f3a52-0d3e-4b8e-9a61-5e2f7c9d0a14'
PGR_IF = ('b1da8d70-4984-11d0-b98c-00a0248df91a', '1.1')


def tower(port, address):
    floors = [epm.EPMRPCInterface(), epm.EPMRPCDataRepresentation(), epm.EPMProtocolIdentifier(),
              epm.EPMPortAddr(), epm.EPMHostAddr()]
    floors[0]['InterfaceUUID'] = string_to_bin(PGR_IF[0])
    floors[0]['MajorVersion'], floors[0]['MinorVersion'] = 1, 1
    floors[1]['DataRepUuid'] = string_to_bin('8a885d04-1ceb-11c9-9fe8-08002b104860')
    floors[1]['MajorVersion'], floors[1]['MinorVersion'] = 2, 0
    floors[2]['ProtIdentifier'] = 0x0b
    floors[3]['IpPort'] = port
    floors[4]['Ip4addr'] = socket.inet_aton(address)
    t = epm.EPMTower()
    t['NumberOfFloors'] = len(floors)
    t['Floors'] = b''.join(f.getData() for f in floors)
    return t.getData()


def twr(data):
    t = epm.twr_p_t()
    t['tower_length'] = len(data)
    t['tower_octet_string'] = data
    return t


def identity(v, cls, name, domain):
    v['cls'] = cls
    v['name'] = name + '\0' if name is not None else NULL
    v['domain'] = domain + '\0' if domain is not None else NULL


def strings(v, items, field='strings'):
    v['count'] = len(items)
    for s in items:
        p = LPSTR()
        p['Data'] = s + '\0'
        v[field].append(p)


def identities(v, items):
    v['count'] = len(items)
    for cls, name, domain in items:
        i = IDENTITY()
        identity(i, cls, name, domain)
        v['items'].append(i)


def entry(obj, tw, note):
    e = epm.ept_entry_t()
    e['object'] = string_to_bin(obj)
    e['tower'] = twr(tw) if tw else NULL
    e['annotation'] = note.encode() + b'\0'
    return e


def build():
    """(interface, opnum, direction, impacket object) of every row."""
    rows = []
    v = DpaIn()
    v['operation'] = 14
    v['request']['length'] = 5
    v['request']['bytes'] = b'\x30\x03\x02\x01\x07'
    rows.append(('dpa', 0, 'in', v))
    v = DpaOut()
    v['result']['length'] = 3
    v['result']['bytes'] = b'\x30\x01\x00'
    v['error'] = NULL
    v['kind'], v['status'] = 0, 0
    rows.append(('dpa', 0, 'out', v))
    v = DpaOut()
    v['result'] = NULL
    v['error']['length'] = 2
    v['error']['bytes'] = b'\xa1\x00'
    v['kind'], v['status'] = 10, 1726
    rows.append(('dpa', 0, 'out', v))

    for op in range(8):
        v = PGR_IN[op]()
        if op in (1, 3, 4, 5):
            identity(v['id'], 3, 'lp1' if op != 4 else '', 'halvane' if op != 5 else None)
        if op in (6, 7):
            v['domain'] = 'halvane\0' if op == 7 else NULL
        if op == 2:
            identity(v['id'], 2, 'spool1', 'halvane')
            identity(v['server'], 1, 'srv', 'halvane')
            v['force'] = 1
            strings(v['info'], [OBJECT + '@ncacn_ip_tcp:10.0.0.5', 'x'], 'bindings')
            v['info']['host'] = 'host5\0'
            v['info']['info'] = 0x12
            identities(v['members'], [(3, 'lp1', 'halvane'), (3, 'lp2', None)])
        rows.append(('pgr', op, 'in', v))
        v = PGR_OUT[op]()
        v['result'] = op
        if op in (0, 5, 7):
            v['text'] = 'halvane\0' if op != 5 else NULL
        if op == 2:
            v['replaced'] = 1
        if op == 3:
            identity(v['server'], 1, 'srv', 'halvane')
            strings(v['bindings'], ['a', OBJECT + '@ncacn_ip_tcp:10.0.0.5[2001]', ''])
            v['info'], v['found'] = 7, 2
        if op == 4:
            identities(v['list'], [(3, 'lp1', 'halvane'), (4, 'q', 'halvane'), (1, None, None)])
        if op == 6:
            strings(v['list'], ['halvane', 'north'])
        rows.append(('pgr', op, 'out', v))

    t1, t2 = tower(2001, '10.0.0.5'), tower(0, '0.0.0.0')
    v = EPM_IN[0]()
    v['num_ents'] = 2
    v['entries'].append(entry(OBJECT, t1, 'name server'))
    v['entries'].append(entry('00000000-0000-0000-0000-000000000000', None, ''))
    v['replace'] = 1
    rows.append(('epm', 0, 'in', v))
    v = EPM_IN[1]()
    v['num_ents'] = 1
    v['entries'].append(entry(OBJECT, t1, 'x' * 63))
    rows.append(('epm', 1, 'in', v))
    for op in (0, 1):
        v = EPM_OUT[op]()
        v['status'] = 0x16c9a0d6 if op else 0
        rows.append(('epm', op, 'out', v))
    v = EPM_IN[2]()
    v['inquiry_type'] = 1
    v['object'] = NULL
    v['Ifid']['Uuid'] = string_to_bin(PGR_IF[0])
    v['Ifid']['VersMajor'], v['Ifid']['VersMinor'] = 1, 1
    v['vers_option'] = 1
    v['entry_handle']['context_handle_uuid'] = string_to_bin(OBJECT)
    v['max_ents'] = 4
    rows.append(('epm', 2, 'in', v))
    v = EPM_OUT[2]()
    v['entry_handle']['context_handle_attributes'] = 0
    v['entry_handle']['context_handle_uuid'] = string_to_bin(OBJECT)
    v['num_ents'] = 2
    v['entries'].append(entry(OBJECT, t1, 'name server'))
    v['entries'].append(entry(OBJECT, None, ''))
    v.fields['entries'].fields['MaximumCount'] = 4
    v['status'] = 0
    rows.append(('epm', 2, 'out', v))
    v = EPM_IN[3]()
    v['obj'] = string_to_bin(OBJECT)
    v['map_tower'] = twr(t2)
    v['max_towers'] = 4
    rows.append(('epm', 3, 'in', v))
    v = EPM_OUT[3]()
    v['num_towers'] = 2
    for t in (t1, tower(2002, '127.0.0.1')):
        p = epm.twr_p_t()
        p['tower_length'] = len(t)
        p['tower_octet_string'] = t
        v['ITowers'].append(p)
    v.fields['ITowers'].fields['MaximumCount'] = 4
    v['status'] = 0
    rows.append(('epm', 3, 'out', v))
    return rows


def canon(o):
    """The values of an impacket object, without referent ids and counts."""
    if isinstance(o, NDRPOINTER):
        return None if o.fields['ReferentID'] == 0 else canon(o.fields['Data'])
    if isinstance(o, (NDRArray, STR)):
        d = o.fields['Data']
        if isinstance(d, list) and d and not isinstance(d[0], NDR):
            d = bytes(x if isinstance(x, int) else ord(x) for x in d)
        if isinstance(d, str):
            d = d.encode('latin-1')
        hdr = o.fields.get('MaximumCount') if isinstance(o, NDRArray) else None
        return (hdr, [canon(x) for x in d] if isinstance(d, list) else d)
    if isinstance(o, (NDRSTRUCT, NDRCALL)):
        return [(n, canon(o.fields[n])) for n, _ in o.structure]
    if isinstance(o, NDR):
        return o.fields['Data'] if 'Data' in o.fields else canon(list(o.fields.values()))
    return o


def main():
    rows = build()
    if len(sys.argv) == 1:
        for iface, op, way, v in rows:
            print(iface, op, way, v.getData().hex())
        print('tower', tower(2001, '10.0.0.5').hex())
        return
    expected = [(f'{i} {op} {w}', canon(type(v)(v.getData()))) for i, op, w, v in rows]
    with open(sys.argv[1]) as f:
        lines = [l.split() for l in f if l.strip()]
    for (name, want), got in zip(expected, lines):
        cls = next(type(v) for i, op, w, v in rows if f'{i} {op} {w}' == name)
        try:
            have = canon(cls(bytes.fromhex(got[3] if len(got) > 3 else '')))
        except Exception as e:  # impacket could not read it at all
            have = repr(e)
        print('ok' if have == want and ' '.join(got[:3]) == name else 'bad', name)


main()
