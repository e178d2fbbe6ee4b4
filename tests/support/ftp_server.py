#!/usr/bin/python3
"""A loopback FTP server for the FTP tests, with switches that make it misbehave on purpose."""

import argparse
import logging
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--login-dir", default="", help="folder (below the root) a session starts in")
    parser.add_argument("--log", default="", help="file that receives every command line")
    parser.add_argument("--refuse-rename", action="store_true", help="answer RNFR with 550")
    parser.add_argument("--refuse-rename-over-existing", action="store_true",
                        help="answer RNTO with 550 when the new name exists")
    parser.add_argument("--refuse-dele", action="store_true", help="answer DELE with 550")
    parser.add_argument("--die-after-bytes", type=int, default=0,
                        help="end the whole server abruptly once an upload has passed this size")
    parser.add_argument("--refuse-rnto", action="store_true", help="answer every RNTO with 550")
    parser.add_argument("--rnto-450-after-dele", action="store_true",
                        help="answer RNTO with 450 once a DELE has succeeded")
    parser.add_argument("--truncate-stor", action="store_true",
                        help="keep only the first half of every upload, still answering 226")
    parser.add_argument("--fail-stor-after-bytes", type=int, default=0,
                        help="answer 451 and drop the data connection once an upload passed this")
    parser.add_argument("--store-raw", action="store_true",
                        help="store every upload's bytes as received, also in ASCII mode "
                             "(as vsftpd does by default)")
    parser.add_argument("--refuse", default="",
                        help="commands (comma-separated, such as SIZE,MLST) answered with 502")
    parser.add_argument("--throttle", type=int, default=0,
                        help="take at most this many bytes a second of uploads")
    args = parser.parse_args()
    refused = {verb.strip().upper() for verb in args.refuse.split(",") if verb.strip()}

    logging.basicConfig(level=logging.WARNING)

    Base = DTPHandler
    if args.throttle:
        Base = ThrottledDTPHandler
        Base.read_limit = args.throttle

    class Data(Base):
        def enable_receiving(self, type, cmd):
            Base.enable_receiving(self, type, cmd)
            if args.store_raw:
                self._data_wrapper = None

        def close(self):
            if (args.truncate_stor and self.receive and self.file_obj is not None
                    and not self.file_obj.closed):
                self.file_obj.flush()
                self.file_obj.truncate(self.file_obj.tell() // 2)
            Base.close(self)

        def handle_read(self):
            Base.handle_read(self)
            if (args.fail_stor_after_bytes and not self._closed
                    and self.tot_bytes_received > args.fail_stor_after_bytes):
                self.transfer_finished = False
                self._resp = ("451 Local error: disk full.", logging.warning)
                self.close()
                return
            if args.die_after_bytes and self.tot_bytes_received > args.die_after_bytes:
                if self.file_obj is not None:
                    self.file_obj.flush()
                os._exit(3)

        handle_read_event = handle_read  # the I/O loop calls this name

    class Handler(FTPHandler):
        dtp_handler = Data

        def on_login(self, username):
            if args.login_dir:
                self.fs.cwd = "/" + args.login_dir

        def pre_process_command(self, line, cmd, arg):
            if args.log:
                with open(args.log, "a", encoding="utf-8", errors="replace") as log:
                    log.write(line + "\n")
            if cmd in refused:
                self.respond("502 Command not implemented.")
                return
            FTPHandler.pre_process_command(self, line, cmd, arg)

        def ftp_RNFR(self, path):
            if args.refuse_rename:
                self.respond("550 Renaming is not permitted.")
                return
            FTPHandler.ftp_RNFR(self, path)

        def ftp_RNTO(self, path):
            if args.refuse_rnto:
                self._rnfr = None
                self.respond("550 Renaming over files is not permitted.")
                return
            if args.rnto_450_after_dele and getattr(self, "deleted_once", False):
                self._rnfr = None
                self.respond("450 Try again later.")
                return
            if args.refuse_rename_over_existing and self._rnfr and self.fs.lexists(path):
                self._rnfr = None
                self.respond("550 Target exists.")
                return
            return FTPHandler.ftp_RNTO(self, path)

        def ftp_DELE(self, path):
            if args.refuse_dele:
                self.respond("550 Deleting is not permitted.")
                return None
            result = FTPHandler.ftp_DELE(self, path)
            self.deleted_once = True
            return result

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")
    Handler.authorizer = authorizer
    server = FTPServer(("127.0.0.1", args.port), Handler)
    # The same banner as pyftpdlib's own, once the port is bound: the tests wait for it.
    sys.stderr.write(">>> starting FTP server on 127.0.0.1:%d, pid=%d <<<\n" % (args.port, os.getpid()))
    sys.stderr.flush()
    server.serve_forever()


if __name__ == "__main__":
    main()
