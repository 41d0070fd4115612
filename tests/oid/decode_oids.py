"""Decodes identifiers given as "<number> <hex of the TLV>" lines with
pyasn1's BER decoder and prints "<number> <dotted value>"."""
import sys

from pyasn1.codec.ber import decoder
from pyasn1.type import univ

for line in sys.stdin:
    num, hexs = line.split()
    value, rest = decoder.decode(bytes.fromhex(hexs), asn1Spec=univ.ObjectIdentifier())
    if rest:
        sys.exit(f"{num}: trailing octets")
    print(num, ".".join(str(a) for a in value.asTuple()))
