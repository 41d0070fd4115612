"""impacket's NTLM as the other side: a command a line on stdin, an answer a
line on stdout; tokens in hex, "-" for an empty string.
  challenge v2|v2notime|v1|v1plain -> CHALLENGE
  verify USER PASSWORD DOMAIN NEG CHAL AUTH -> "ok v2|v1 KEY mic|nomic" or "fail WHY"
  negotiate v2|v1 -> NEGOTIATE
  authenticate v2|v1 USER PASSWORD DOMAIN NEG CHAL -> "AUTH KEY"
"""
import hashlib
import struct
import sys
import time

from Cryptodome.Cipher import ARC4
from Cryptodome.Hash import MD4
from impacket import ntlm


def challenge(kind):
    c = ntlm.NTLMAuthChallenge()
    c['flags'] = (ntlm.NTLMSSP_NEGOTIATE_UNICODE | ntlm.NTLMSSP_NEGOTIATE_NTLM | ntlm.NTLMSSP_REQUEST_TARGET
                  | ntlm.NTLMSSP_NEGOTIATE_EXTENDED_SESSIONSECURITY | ntlm.NTLMSSP_NEGOTIATE_KEY_EXCH
                  | ntlm.NTLMSSP_NEGOTIATE_128 | ntlm.NTLMSSP_TARGET_TYPE_SERVER)
    c['domain_name'], c['Version'], c['challenge'] = 'PEER'.encode('utf-16le'), b'', bytes(range(1, 9))
    av = ntlm.AV_PAIRS()
    av[ntlm.NTLMSSP_AV_HOSTNAME] = 'PEER'.encode('utf-16le')
    av[ntlm.NTLMSSP_AV_DOMAINNAME] = 'WORKGROUP'.encode('utf-16le')
    if kind == 'v2':
        av[ntlm.NTLMSSP_AV_TIME] = struct.pack('<q', 116444736000000000 + int(time.time()) * 10000000)
    info = av.getData() if kind.startswith('v2') else b''
    if kind == 'v1plain':
        c['flags'] &= ~ntlm.NTLMSSP_NEGOTIATE_EXTENDED_SESSIONSECURITY
    if info:
        c['flags'] |= ntlm.NTLMSSP_NEGOTIATE_TARGET_INFO
    c['TargetInfoFields'], c['TargetInfoFields_len'], c['TargetInfoFields_max_len'] = info, len(info), len(info)
    c['domain_offset'], c['TargetInfoFields_offset'] = 48, 56
    return c.getData().hex()


def verify(user, password, domain, neg, chal, auth):
    r = ntlm.NTLMAuthChallengeResponse()
    r.fromString(auth)
    c = ntlm.NTLMAuthChallenge(chal)
    sc, nt, lm, mic = c['challenge'], r['ntlm'], r['lanman'], False
    if (r['user_name'].decode('utf-16le'), r['domain_name'].decode('utf-16le')) != (user, domain):
        return 'fail names'
    if len(nt) > 24:
        owf = ntlm.NTOWFv2(user, password, domain)
        if ntlm.hmac_md5(owf, sc + nt[16:]) != nt[:16]:
            return 'fail proof'
        kind, exchange = 'v2', ntlm.hmac_md5(owf, nt[:16])
        flags = ntlm.AV_PAIRS(nt[16 + 28:])[ntlm.NTLMSSP_AV_FLAGS]
        mic = flags is not None and struct.unpack('<I', flags[1])[0] & 2 != 0
    else:
        nthash = ntlm.compute_nthash(password)
        ess = c['flags'] & ntlm.NTLMSSP_NEGOTIATE_EXTENDED_SESSIONSECURITY
        if ntlm.ntlmssp_DES_encrypt(nthash, hashlib.md5(sc + lm[:8]).digest()[:8] if ess else sc) != nt:
            return 'fail response'
        base = MD4.new(nthash).digest()
        kind, exchange = 'v1', ntlm.hmac_md5(base, sc + lm[:8]) if ess else base
    key = ARC4.new(exchange).decrypt(r['session_key']) if r['session_key'] else exchange
    if mic and ntlm.hmac_md5(key, neg + chal + auth[:72] + b'\0' * 16 + auth[88:]) != auth[72:88]:
        return 'fail mic'
    return 'ok %s %s %s' % (kind, key.hex(), 'mic' if mic else 'nomic')


def answer(w):
    if w[0] == 'challenge':
        return challenge(w[1])
    if w[0] == 'verify':
        return verify(w[1], w[2], w[3], *(bytes.fromhex(x) for x in w[4:7]))
    if w[0] == 'negotiate':
        return ntlm.getNTLMSSPType1('', '', True, use_ntlmv2=w[1] == 'v2').getData().hex()
    neg = ntlm.NTLMAuthNegotiate()
    neg.fromString(bytes.fromhex(w[5]))
    auth, key = ntlm.getNTLMSSPType3(neg, bytes.fromhex(w[6]), w[2], w[3], w[4], use_ntlmv2=w[1] == 'v2')
    return '%s %s' % (auth.getData().hex(), key.hex())


if __name__ == '__main__':
    for line in sys.stdin:
        try:
            print(answer(['' if x == '-' else x for x in line.split()]), flush=True)
        except Exception as e:  # shown by the test
            print('fail %s' % e, flush=True)
