#!/usr/bin/env python3
"""A throwaway RFC 3161 time-stamping authority for the release rehearsal: answers every POSTed
time-stamp query with `openssl ts -reply`, on 127.0.0.1 only.

  test_tsa.py CONFIG PORTFILE

CONFIG is an openssl configuration with a [tsa] section (signer certificate and key); the port it
listens on is written to PORTFILE once it accepts connections.
"""
import http.server
import os
import subprocess
import sys
import tempfile


class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers.get('Content-Length', 0)))
        with tempfile.TemporaryDirectory() as work:
            request, reply = os.path.join(work, 'query.tsq'), os.path.join(work, 'reply.tsr')
            with open(request, 'wb') as f:
                f.write(query)
            done = subprocess.run(['openssl', 'ts', '-reply', '-config', self.server.config, '-queryfile', request,
                                   '-out', reply], capture_output=True)
            if done.returncode != 0:
                sys.stderr.write(done.stderr.decode(errors='replace'))
                self.send_error(500, 'openssl ts -reply failed')
                return
            with open(reply, 'rb') as f:
                body = f.read()
        self.send_response(200)
        self.send_header('Content-Type', 'application/timestamp-reply')
        self.send_header('Content-Length', str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def main(argv):
    server = http.server.HTTPServer(('127.0.0.1', 0), Handler)
    server.config = os.path.abspath(argv[1])
    with open(argv[2] + '.tmp', 'w') as f:
        f.write(f'{server.server_port}\n')
    os.replace(argv[2] + '.tmp', argv[2])
    server.serve_forever()


if __name__ == '__main__':
    main(sys.argv)
