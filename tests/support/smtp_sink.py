"""A local SMTP server for tests and benchmarks, on 127.0.0.1 only.

Stores every accepted message in the spool directory as <n>.eml (the data as received) and
<n>.env (the envelope: "FROM <address>" and one "TO <address>" line per recipient); the
.env file is written last, so a reader that sees it sees the whole message.
"""
import argparse
import asyncio
import os
import ssl

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class Handler:
    def __init__(self, spool, refused, refuse_ehlo):
        self.spool = spool
        self.refused = {r.lower() for r in refused}
        self.refuse_ehlo = refuse_ehlo
        self.count = 0

    async def handle_EHLO(self, server, session, envelope, hostname, responses):
        if self.refuse_ehlo:
            return ["502 5.5.2 EHLO not accepted here"]
        session.host_name = hostname
        return responses

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.lower() in self.refused:
            return "550 5.1.1 <%s>: mailbox unavailable" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.spool, str(self.count))
        with open(base + ".eml", "wb") as f:
            f.write(envelope.original_content or b"")
        lines = ["FROM " + (envelope.mail_from or "")]
        lines += ["TO " + r for r in envelope.rcpt_tos]
        with open(base + ".tmp", "w") as f:
            f.write("\n".join(lines) + "\n")
        os.rename(base + ".tmp", base + ".env")
        return "250 2.0.0 Message accepted for delivery"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--tls-port", type=int, default=0)
    parser.add_argument("--spool", required=True)
    parser.add_argument("--cert", default="")
    parser.add_argument("--key", default="")
    parser.add_argument("--user", default="")
    parser.add_argument("--password", default="")
    parser.add_argument("--auth-required", action="store_true")
    parser.add_argument("--plain-only", action="store_true")
    parser.add_argument("--refuse", action="append", default=[])
    parser.add_argument("--refuse-ehlo", action="store_true")
    args = parser.parse_args()

    handler = Handler(args.spool, args.refuse, args.refuse_ehlo)

    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword)
              and auth_data.login.decode() == args.user
              and auth_data.password.decode() == args.password)
        return AuthResult(success=ok, handled=False)

    tls_context = None
    if args.cert:
        tls_context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        tls_context.load_cert_chain(args.cert, args.key)

    def factory(implicit):
        options = dict(hostname="sink.test", data_size_limit=None, decode_data=False,
                       auth_require_tls=False, timeout=60)
        if args.user:
            options["authenticator"] = authenticator
            options["auth_required"] = args.auth_required
        if args.plain_only:
            options["auth_exclude_mechanism"] = ["LOGIN"]
        if tls_context is not None and not implicit:
            options["tls_context"] = tls_context
        return SMTP(handler, **options)

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    loop.run_until_complete(
        loop.create_server(lambda: factory(False), host="127.0.0.1", port=args.port))
    if args.tls_port and tls_context is not None:
        loop.run_until_complete(
            loop.create_server(lambda: factory(True), host="127.0.0.1", port=args.tls_port,
                               ssl=tls_context))
    print("READY", flush=True)
    loop.run_forever()


if __name__ == "__main__":
    main()
