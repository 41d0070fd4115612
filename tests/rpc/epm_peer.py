#!/usr/bin/python3
"""epm_peer.py PORT UUID VERSION CAPTURE: impacket's ept_map to 127.0.0.1:PORT, then what tshark reads of it."""
import signal, subprocess, sys, time
from impacket.dcerpc.v5 import epm, transport
from impacket.uuid import uuidtup_to_bin

port, iface, version, capture = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
tshark = subprocess.Popen(['tshark', '-i', 'lo', '-f', 'tcp port %d' % port, '-w', capture],
                          stderr=subprocess.PIPE, stdout=subprocess.DEVNULL)
for line in tshark.stderr:
    if b'Capturing on' in line:
        break
time.sleep(0.3)
dce = transport.DCERPCTransportFactory('ncacn_ip_tcp:127.0.0.1[%d]' % port).get_dce_rpc()
dce.connect()
try:
    print(epm.hept_map('127.0.0.1', uuidtup_to_bin((iface, version)), protocol='ncacn_ip_tcp', dce=dce))
except Exception as e:
    print('error', e)
dce.disconnect()
time.sleep(0.5)
tshark.send_signal(signal.SIGTERM)
tshark.wait(10)
read = ['tshark', '-r', capture, '-d', 'tcp.port==%d,dcerpc' % port, '-Y']
bad = subprocess.run(read + ['_ws.malformed || _ws.expert.severity == "Error"'], capture_output=True, text=True)
ports = subprocess.run(read + ['epm.opnum == 3', '-T', 'fields', '-e', 'epm.proto.tcp_port'],
                       capture_output=True, text=True).stdout.split()
print('malformed: %d\nports: %s' % (len(bad.stdout.splitlines()), ' '.join(ports)))
