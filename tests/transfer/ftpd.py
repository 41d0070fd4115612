# A read-only anonymous FTP server on loopback for the transfer tests.
# Usage: ftpd.py ROOT; prints the port it listens on and its process id,
# then serves.
import logging
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

logging.basicConfig(level=logging.ERROR)
authorizer = DummyAuthorizer()
authorizer.add_anonymous(sys.argv[1], perm="elr")
FTPHandler.authorizer = authorizer
server = FTPServer(("127.0.0.1", 0), FTPHandler)
print(server.address[1], os.getpid(), flush=True)
server.serve_forever()
