"""Loopback SMTP server for the mail host tests and benchmark.

Prints its port on the first line of stdout, then stores every accepted
message as <out>/<pid>-<n>.eml with the envelope in <pid>-<n>.env
(first line MAIL FROM, then one recipient per line). The .eml file is
renamed into place last, so a reader never sees half a message.
"""
import argparse
import asyncio
import os
import signal
import ssl
import sys

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class Handler:
    def __init__(self, args):
        self.out = args.out
        self.refuse = {a.lower() for a in args.refuse}
        self.data_reply = args.data_reply
        self.hang_up = args.hang_up_after_data
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.lower() in self.refuse:
            return "550 5.1.1 <%s>: no such user here" % address
        envelope.rcpt_tos.append(address)
        return "250 2.1.5 OK"

    async def handle_DATA(self, server, session, envelope):
        if self.data_reply:
            return self.data_reply
        self.count += 1
        base = os.path.join(self.out, "%d-%06d" % (os.getpid(), self.count))
        with open(base + ".env", "w", encoding="utf-8") as f:
            f.write(envelope.mail_from + "\n")
            for rcpt in envelope.rcpt_tos:
                f.write(rcpt + "\n")
        with open(base + ".tmp", "wb") as f:
            f.write(envelope.original_content)
        os.rename(base + ".tmp", base + ".eml")
        if self.hang_up:
            # The message is taken, but the client never hears so.
            server.transport.abort()
        return "250 2.0.0 OK queued"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--starttls", action="store_true")
    parser.add_argument("--implicit-tls", action="store_true")
    parser.add_argument("--auth", help="user:password required before MAIL")
    parser.add_argument("--refuse", action="append", default=[])
    parser.add_argument("--data-reply", help="reply to every DATA instead of accepting")
    parser.add_argument("--size-limit", type=int, help="the SIZE announced and enforced")
    parser.add_argument("--hang-up-after-data", action="store_true",
                        help="store each message, then drop the connection before answering")
    args = parser.parse_args()

    context = None
    if args.cert:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)

    def authenticator(server, session, envelope, mechanism, auth_data):
        if not isinstance(auth_data, LoginPassword):
            return AuthResult(success=False, handled=False)
        user, _, password = args.auth.partition(":")
        ok = auth_data.login.decode() == user and auth_data.password.decode() == password
        return AuthResult(success=ok, handled=False)

    handler = Handler(args)
    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)

    def factory():
        kwargs = dict(hostname="localhost", loop=loop)
        if args.size_limit:
            kwargs["data_size_limit"] = args.size_limit
        if args.starttls:
            kwargs["tls_context"] = context
        if args.auth:
            kwargs.update(authenticator=authenticator, auth_required=True,
                          auth_require_tls=True)
        return SMTP(handler, **kwargs)

    server = loop.run_until_complete(loop.create_server(
        factory, "127.0.0.1", args.port, ssl=context if args.implicit_tls else None,
        reuse_address=True))
    print(server.sockets[0].getsockname()[1], flush=True)
    loop.add_signal_handler(signal.SIGTERM, loop.stop)
    loop.add_signal_handler(signal.SIGINT, loop.stop)
    try:
        loop.run_forever()
    finally:
        server.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
