"""The other side of NTLM exchanges, built from impacket's NTLM pieces.

One command a line on stdin, one answer a line on stdout; tokens are hex,
an empty string is "-".
  challenge v2|v2notime|v1           -> CHALLENGE
  verify USER PASSWORD DOMAIN NEG CHAL AUTH
                                     -> "ok v2|v1 KEY MIC" or "fail REASON"
  negotiate v2|v1                    -> NEGOTIATE
  authenticate v2|v1 USER PASSWORD DOMAIN NEG CHAL -> "AUTH KEY"
"""
import hashlib
import struct
import sys
import time

from Cryptodome.Cipher import ARC4
from Cryptodome.Hash import MD4
from impacket import ntlm


def arg(s):
    return '' if s == '-' else s


def challenge(kind):
    c = ntlm.NTLMAuthChallenge()
    flags = (ntlm.NTLMSSP_NEGOTIATE_UNICODE | ntlm.NTLMSSP_NEGOTIATE_NTLM | ntlm.NTLMSSP_REQUEST_TARGET
             | ntlm.NTLMSSP_NEGOTIATE_EXTENDED_SESSIONSECURITY | ntlm.NTLMSSP_NEGOTIATE_KEY_EXCH
             | ntlm.NTLMSSP_NEGOTIATE_128 | ntlm.NTLMSSP_TARGET_TYPE_SERVER)
    c['domain_name'] = 'PEER'.encode('utf-16le')
    c['Version'] = b''
    info = b''
    if kind != 'v1':
        flags |= ntlm.NTLMSSP_NEGOTIATE_TARGET_INFO
        av = ntlm.AV_PAIRS()
        av[ntlm.NTLMSSP_AV_HOSTNAME] = 'PEER'.encode('utf-16le')
        av[ntlm.NTLMSSP_AV_DOMAINNAME] = 'WORKGROUP'.encode('utf-16le')
        if kind == 'v2':
            av[ntlm.NTLMSSP_AV_TIME] = struct.pack('<q', 116444736000000000 + int(time.time()) * 10000000)
        info = av.getData()
    c['flags'] = flags
    c['challenge'] = bytes(range(1, 9))
    c['TargetInfoFields'] = info
    c['TargetInfoFields_len'] = len(info)
    c['TargetInfoFields_max_len'] = len(info)
    c['domain_offset'] = 48
    c['TargetInfoFields_offset'] = 48 + len(c['domain_name'])
    return c.getData().hex()


def verify(user, password, domain, neg, chal, auth):
    r = ntlm.NTLMAuthChallengeResponse()
    r.fromString(auth)
    c = ntlm.NTLMAuthChallenge(chal)
    sc, nt, lm = c['challenge'], r['ntlm'], r['lanman']
    if r['user_name'].decode('utf-16le') != user or r['domain_name'].decode('utf-16le') != domain:
        return 'fail names'
    mic = False
    if len(nt) > 24:
        kind = 'v2'
        owf = ntlm.NTOWFv2(user, password, domain)
        proof = ntlm.hmac_md5(owf, sc + nt[16:])
        if proof != nt[:16]:
            return 'fail proof'
        base = exchange = ntlm.hmac_md5(owf, proof)
        pairs = ntlm.AV_PAIRS(nt[16 + 28:])
        flags = pairs[ntlm.NTLMSSP_AV_FLAGS]
        mic = flags is not None and struct.unpack('<I', flags[1])[0] & 2 != 0
    else:
        kind = 'v1'
        nthash = ntlm.compute_nthash(password)
        if c['flags'] & ntlm.NTLMSSP_NEGOTIATE_EXTENDED_SESSIONSECURITY:
            want = ntlm.ntlmssp_DES_encrypt(nthash, hashlib.md5(sc + lm[:8]).digest()[:8])
        else:
            want = ntlm.get_ntlmv1_response(nthash, sc)
        if want != nt:
            return 'fail response'
        base = MD4.new(nthash).digest()
        exchange = ntlm.KXKEY(c['flags'], base, lm, sc, password, '', nthash, use_ntlmv2=False)
    key = ARC4.new(exchange).decrypt(r['session_key']) if r['session_key'] else exchange
    if mic and ntlm.hmac_md5(key, neg + chal + auth[:72] + b'\0' * 16 + auth[88:]) != auth[72:88]:
        return 'fail mic'
    return 'ok %s %s %s' % (kind, key.hex(), 'mic' if mic else 'nomic')


def main():
    for line in sys.stdin:
        w = [arg(x) for x in line.split()]
        if not w:
            continue
        try:
            if w[0] == 'challenge':
                out = challenge(w[1])
            elif w[0] == 'verify':
                out = verify(w[1], w[2], w[3], *(bytes.fromhex(x) for x in w[4:7]))
            elif w[0] == 'negotiate':
                out = ntlm.getNTLMSSPType1('', '', True, use_ntlmv2=w[1] == 'v2').getData().hex()
            elif w[0] == 'authenticate':
                neg = ntlm.NTLMAuthNegotiate()
                neg.fromString(bytes.fromhex(w[5]))
                auth, key = ntlm.getNTLMSSPType3(neg, bytes.fromhex(w[6]), w[2], w[3], w[4],
                                                 use_ntlmv2=w[1] == 'v2')
                out = '%s %s' % (auth.getData().hex(), key.hex())
            else:
                out = 'fail command'
        except Exception as e:  # an answer the test shows
            out = 'fail %s' % type(e).__name__
        print(out, flush=True)


main()
