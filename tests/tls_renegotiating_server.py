#!/usr/bin/env python3
"""A TLS 1.2 FTP peer that asks for a renegotiation right after the login.

Prints the port it listens on (127.0.0.1) as the first line of stdout and
serves one connection: a 220 greeting, 234 to AUTH TLS, 331 and 230 to USER
and PASS, then a renegotiation request (HelloRequest); with --swap-cert and
--swap-key it offers that certificate in the new handshake. Every later
command is answered "200 ok", and noted in the --report file as
"<command> after request" while the renegotiation is pending, or
"<command> after renegotiation" once a new handshake has completed. A TLS
error is noted as "error <words>" and ends the connection. Needs
python3-openssl; ends when stdin closes, or after a minute.
"""
import argparse
import signal
import socket
import sys
import threading

from OpenSSL import SSL


def context(cert, key):
    ctx = SSL.Context(SSL.TLS_SERVER_METHOD)
    ctx.set_min_proto_version(SSL.TLS1_2_VERSION)
    ctx.set_max_proto_version(SSL.TLS1_2_VERSION)  # renegotiation is TLS 1.2's
    # No resumption: a new handshake is a full one, certificate included.
    ctx.set_session_cache_mode(SSL.SESS_CACHE_OFF)
    ctx.set_options(SSL.OP_NO_TICKET)
    ctx.use_certificate_file(cert)
    ctx.use_privatekey_file(key)
    return ctx


def lines(receive):
    buf = b""
    while True:
        while b"\r\n" not in buf:
            more = receive()
            if not more:
                return
            buf += more
        line, buf = buf.split(b"\r\n", 1)
        yield line.decode("latin-1")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--swap-cert")
    parser.add_argument("--swap-key")
    parser.add_argument("--report", required=True)
    args = parser.parse_args()
    signal.alarm(60)
    threading.Thread(target=lambda: (sys.stdin.read(), signal.raise_signal(signal.SIGTERM)), daemon=True).start()

    listener = socket.create_server(("127.0.0.1", 0))
    print(listener.getsockname()[1], flush=True)
    sock, _ = listener.accept()
    report = open(args.report, "w", buffering=1)

    # Plain until AUTH TLS: the client sends nothing more before the 234.
    sock.sendall(b"220 renegotiating peer ready\r\n")
    if next(lines(lambda: sock.recv(1)), "") != "AUTH TLS":
        return
    sock.sendall(b"234 go ahead\r\n")
    conn = SSL.Connection(context(args.cert, args.key), sock)
    conn.set_accept_state()
    try:
        conn.do_handshake()
        commands = lines(lambda: conn.recv(4096))
        for reply in (b"331 password please\r\n", b"230 logged in\r\n"):
            next(commands)
            conn.sendall(reply)
        if args.swap_cert:
            conn.set_context(context(args.swap_cert, args.swap_key))
        conn.renegotiate()
        conn.do_handshake()  # sends the HelloRequest; the client's answer comes with its next records
        for command in commands:
            state = "request" if conn.renegotiate_pending() else "renegotiation"
            report.write(f"{command} after {state}\n")
            conn.sendall(b"200 ok\r\n")
    except SSL.Error as e:
        report.write(f"error {e}\n")
    except StopIteration:
        pass
    sock.close()


if __name__ == "__main__":
    main()
