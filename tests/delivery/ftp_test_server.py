#!/usr/bin/python3
"""A loopback FTP server for the upload tests and the benchmark.

Debian's python3-pyftpdlib, bound to 127.0.0.1 on a free port; the port is
printed as "PORT <n>" on the first line of stdout. One user with full rights
on a root folder. Every command line received is appended to --log (the
password masked), so tests can check what the client sent.

Faults on request: --refuse-stor-once answers the first STOR with 451,
--refuse-type-once the first TYPE with 504,
--die-after-stores N ends the process when the (N+1)th STOR arrives.
--tls CERT makes a throwaway self-signed certificate for 127.0.0.1 (written
to CERT, key included) and requires explicit TLS on control and data.

The process ends by itself when its parent goes away or after --lifetime
seconds, so a crashed test never leaves it running.
"""

import argparse
import os
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

from loopback_startup import add_common_arguments, announce, open_log


def make_certificate(path):
    from OpenSSL import crypto

    key = crypto.PKey()
    key.generate_key(crypto.TYPE_RSA, 2048)
    cert = crypto.X509()
    cert.set_version(2)
    cert.get_subject().CN = "127.0.0.1"
    cert.set_serial_number(int(time.time()))
    cert.gmtime_adj_notBefore(-60)
    cert.gmtime_adj_notAfter(24 * 3600)
    cert.set_issuer(cert.get_subject())
    cert.set_pubkey(key)
    cert.add_extensions([
        crypto.X509Extension(b"subjectAltName", False, b"IP:127.0.0.1"),
        crypto.X509Extension(b"basicConstraints", True, b"CA:TRUE"),
    ])
    cert.sign(key, "sha256")
    with open(path, "wb") as f:
        f.write(crypto.dump_certificate(crypto.FILETYPE_PEM, cert))
        f.write(crypto.dump_privatekey(crypto.FILETYPE_PEM, key))


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--root", required=True)
    p.add_argument("--user", default="builder")
    p.add_argument("--password", default="secret")
    p.add_argument("--tls", default=None, metavar="CERT")
    p.add_argument("--refuse-stor-once", action="store_true")
    p.add_argument("--refuse-type-once", action="store_true")
    p.add_argument("--die-after-stores", type=int, default=-1)
    add_common_arguments(p)
    a = p.parse_args()

    base = FTPHandler
    if a.tls:
        from pyftpdlib.handlers import TLS_FTPHandler

        make_certificate(a.tls)
        base = TLS_FTPHandler

    log = open_log(a.log)
    state = {"stores": 0, "refused": False, "type_refused": False}

    class Handler(base):
        auth_failed_timeout = 0
        timeout = 120

        def pre_process_command(self, line, cmd, arg):
            if log:
                log.write(("PASS ******" if cmd == "PASS" else line) + "\n")
            return super().pre_process_command(line, cmd, arg)

        def ftp_TYPE(self, type):
            if a.refuse_type_once and not state["type_refused"]:
                state["type_refused"] = True
                self.respond("504 Refused once for the test.")
                return None
            return super().ftp_TYPE(type)

        def ftp_STOR(self, file, mode="w"):
            if a.refuse_stor_once and not state["refused"]:
                state["refused"] = True
                self.respond("451 Refused once for the test.")
                return None
            if 0 <= a.die_after_stores <= state["stores"]:
                os._exit(3)
            state["stores"] += 1
            return super().ftp_STOR(file, mode)

    if a.tls:
        from OpenSSL import SSL
        from pyftpdlib.handlers import TLS_DTPHandler

        class DataHandler(TLS_DTPHandler):
            # pyftpdlib takes a data connection that is readable before the
            # transfer command for a closed one; libcurl starts the TLS
            # handshake as soon as it has connected, so let it proceed.
            def readable(self):
                if not self.receive and not self._initialized:
                    return self._ssl_accepting or self._ssl_want_read
                return super().readable()

        Handler.dtp_handler = DataHandler

        # Clients resume the control connection's TLS session on each data
        # connection (real servers even demand it); OpenSSL refuses a
        # resumption unless the server names a session id context.
        context = SSL.Context(SSL.SSLv23_METHOD)
        context.set_options(SSL.OP_NO_SSLv2 | SSL.OP_NO_SSLv3 | SSL.OP_NO_COMPRESSION)
        context.use_certificate_chain_file(a.tls)
        context.use_privatekey_file(a.tls)
        context.set_session_id(b"gorvale-ftp-test")
        Handler.certfile = a.tls
        Handler.ssl_context = context
        Handler.tls_control_required = True
        Handler.tls_data_required = True

    authorizer = DummyAuthorizer()
    authorizer.add_user(a.user, a.password, a.root, perm="elradfmwMT")
    Handler.authorizer = authorizer

    server = FTPServer(("127.0.0.1", 0), Handler)
    announce(server.address[1], a.lifetime)
    server.serve_forever(handle_exit=False)


if __name__ == "__main__":
    main()
