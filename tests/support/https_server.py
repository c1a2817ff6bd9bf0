#!/usr/bin/env python3
"""Serves a folder over HTTPS on 127.0.0.1 for the tests: https_server.py PORT ROOT CERT KEY."""
import functools
import http.server
import ssl
import sys

port, root, cert, key = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
handler = functools.partial(http.server.SimpleHTTPRequestHandler, directory=root)
server = http.server.ThreadingHTTPServer(("127.0.0.1", port), handler)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(cert, key)
# The handshake runs in each request's thread, so a client that gives up on the certificate stops nothing.
server.socket = context.wrap_socket(server.socket, server_side=True, do_handshake_on_connect=False)
server.serve_forever()
