#!/usr/bin/env python3
"""Independent reader of a native archive store: checks the key file, authenticates and
decodes every custody record, and prints what the store holds.

It is written from the on-disk format's description alone and shares no code with the
C++ library, so a store the library wrote and this reader accepts shows that both agree
on every byte: the descriptor digest, the key file, the record layout and the MACs.
Replay tokens are checked the way loading checks them, with the digests of
context_reference.py and digest_reference.py beside this file.

Usage:
  archive_reader.py --store DIR --key FILE --owner SCOPE --descriptor DESCRIPTOR.json

DESCRIPTOR.json holds the descriptor the archive was made with, as one object:
  {"revision": 1, "id": "...", "family": "anthropic.messages", "base_url": "...",
   "paths": ["/send", "/stream"], "request_model_member": "model",
   "request_messages_member": "messages", "request_stream_member": "stream",
   "max_output_tokens_member": "max_tokens", "usage_path": ["usage"],
   "headers": [["X-Team", "blue"]], "stop_mappings": [["stop", 0]],
   "policy_identity": "..."}

On success it prints one JSON object and exits 0:
  {"descriptor_digest": HEX,
   "records": {NAME: {"scope": ..., "messages": [{"id": ..., "role": ...,
                "kinds": [...], "replay": null or {"family": ..., "history_count": ...,
                "valid": ..., "stop_kind": ..., "content_digest": HEX}}]}},
   "staging": [NAME, ...]}
Byte strings that are not UTF-8 are shown with backslash escapes. On the first
violation it prints what is wrong to stderr and exits 1.

The archive's limits are not on disk, so the reader applies only the bounds the format
itself fixes (enumeration ranges, and no count larger than the bytes left could hold).

Only the Python standard library is used.
"""

import argparse
import ctypes
import errno
import fcntl
import hashlib
import hmac
import json
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import context_reference  # noqa: E402
import digest_reference  # noqa: E402

DESCRIPTOR_LABEL = b"zu.native.archive.descriptor.v2"
RECORD_LABEL = b"zu.native.local-custody.archive.v3"
STAGING_PREFIX = ".pending-"
KEY_FILE_SIZE = 96
HEX_DIGITS = "0123456789abcdef"

FAMILY_NAMES = ["anthropic.messages", "openai.responses", "google.generate",
                "google.interactions", "openai.chat"]
MAX_ROLE = 4
MAX_TOOL_CALL_KIND = 2
MAX_ERROR_CODE = 5
MAX_IMAGE_DETAIL = 3
MAX_STOP_KIND = 10


class Violation(Exception):
    """The store breaks the format; the message says where and how."""


# ---- Writing: the descriptor digest and the admission statement -----------------------

def u64(value):
    return value.to_bytes(8, "big")


def enum32(value):
    # A 32-bit enumeration is its unsigned bit pattern widened to 64 bits.
    return u64(value & 0xFFFFFFFF)


def framed(data):
    if isinstance(data, str):
        data = data.encode("utf-8")
    return u64(len(data)) + data


def descriptor_digest(d):
    out = [framed(DESCRIPTOR_LABEL), framed(d["id"]), u64(d["revision"]),
           framed(d["family"]), framed(d["base_url"]), framed(d["paths"][0]),
           framed(d["paths"][1]), framed(d["policy_identity"]), u64(len(d["headers"]))]
    for name, value in d["headers"]:
        out += [framed(name), framed(value)]
    for member in ("request_model_member", "request_messages_member",
                   "request_stream_member", "max_output_tokens_member"):
        out.append(framed(d[member]))
    out.append(u64(len(d["usage_path"])))
    out += [framed(element) for element in d["usage_path"]]
    out.append(u64(len(d["stop_mappings"])))
    for text, kind in d["stop_mappings"]:
        out += [framed(text), enum32(kind)]
    return hashlib.sha256(b"".join(out)).digest()


def load_descriptor(path):
    with open(path, "rb") as f:
        d = json.load(f)
    texts = ("id", "family", "base_url", "request_model_member", "request_messages_member",
             "request_stream_member", "max_output_tokens_member", "policy_identity")
    try:
        ok = (isinstance(d, dict) and all(isinstance(d[k], str) for k in texts)
              and isinstance(d["revision"], int) and 0 <= d["revision"] < 1 << 64
              and len(d["paths"]) == 2 and all(isinstance(p, str) for p in d["paths"])
              and all(isinstance(e, str) for e in d["usage_path"])
              and all(len(h) == 2 and all(isinstance(t, str) for t in h)
                      for h in d["headers"])
              and all(len(m) == 2 and isinstance(m[0], str) and isinstance(m[1], int)
                      and -(1 << 31) <= m[1] < 1 << 31 for m in d["stop_mappings"]))
    except (KeyError, TypeError):
        ok = False
    if not ok:
        raise Violation("%s: not a descriptor (see --help for its members)" % path)
    return d


# ---- The key file ----------------------------------------------------------------------

FS_IOC_GETVERSION = 0x80087601  # _IOR('v', 1, long) on 64-bit Linux
STATX_INO, STATX_BTIME = 0x100, 0x800
AT_FDCWD, AT_SYMLINK_NOFOLLOW = -100, 0x100


def _birth_time(path):
    """The birth time in nanoseconds as statx reports it, or 0 where the file system keeps
    none. Python's os.stat does not ask for it on Linux, so statx is called directly."""
    libc = ctypes.CDLL(None, use_errno=True)
    buffer = ctypes.create_string_buffer(256)  # struct statx
    if libc.statx(AT_FDCWD, os.fsencode(path), AT_SYMLINK_NOFOLLOW,
                  STATX_INO | STATX_BTIME, buffer) != 0:
        raise OSError(ctypes.get_errno(), "statx", path)
    mask = struct.unpack_from("=I", buffer, 0)[0]
    if not mask & STATX_BTIME:
        return 0
    seconds, nanoseconds = struct.unpack_from("=qI", buffer, 80)  # stx_btime
    return (seconds * 1_000_000_000 + nanoseconds) % (1 << 64)


def _generation(path):
    """The inode's generation number with bit 32 set, or 0 where the file system keeps
    none (the ioctl is then not supported)."""
    fd = os.open(path, os.O_RDONLY | os.O_NOFOLLOW | os.O_NONBLOCK)
    try:
        word = fcntl.ioctl(fd, FS_IOC_GETVERSION, bytes(8))
    except OSError as error:
        if error.errno in (errno.ENOTTY, errno.EOPNOTSUPP, errno.EINVAL):
            return 0
        raise
    finally:
        os.close(fd)
    return 1 << 32 | struct.unpack_from("=I", word, 0)[0]


def _mix(x):
    """SplitMix64's last step, on 64-bit words."""
    mask = (1 << 64) - 1
    x = ((x ^ (x >> 30)) * 0xBF58476D1CE4E5B9) & mask
    x = ((x ^ (x >> 27)) * 0x94D049BB133111EB) & mask
    return x ^ (x >> 31)


def identity(path):
    """(volume, file_id) as the POSIX archive backend reports them: the file system's
    identifier, or the device number where the file system reports none; and the inode
    number with the inode's generation and birth time folded in, so that a file made on a
    freed inode number is another file."""
    volume = os.statvfs(path).f_fsid or os.stat(path).st_dev
    file_id = os.stat(path).st_ino ^ _mix(_mix(_generation(path)) ^ _birth_time(path))
    return volume, file_id


def check_private(path, mode):
    info = os.lstat(path)
    if info.st_mode & 0o170000 != (0o040000 if mode == 0o700 else 0o100000):
        raise Violation("%s: not a plain %s" % (path, "directory" if mode == 0o700 else "file"))
    if info.st_uid != os.geteuid():
        raise Violation("%s: owned by uid %d, not by uid %d"
                        % (path, info.st_uid, os.geteuid()))
    if info.st_mode & 0o7777 != mode:
        raise Violation("%s: mode %04o, expected %04o" % (path, info.st_mode & 0o7777, mode))


def custody_key(key_path, store, owner, digest):
    check_private(key_path, 0o400)
    with open(key_path, "rb") as f:
        contents = f.read(KEY_FILE_SIZE + 1)
    if len(contents) != KEY_FILE_SIZE:
        raise Violation("%s: %d bytes, a key file has exactly %d"
                        % (key_path, len(contents), KEY_FILE_SIZE))
    key = contents[:32]
    expected = identity(store) + identity(key_path)
    names = ("store volume", "store file_id", "key volume", "key file_id")
    for i, (name, value) in enumerate(zip(names, expected)):
        stored = int.from_bytes(contents[32 + 8 * i:40 + 8 * i], "big")
        if stored != value:
            raise Violation("%s: %s is %#x, the file system says %#x"
                            % (key_path, name, stored, value))
    statement = framed(owner) + framed(digest) + contents[32:64]
    if not hmac.compare_digest(hmac.new(key, statement, hashlib.sha256).digest(),
                               contents[64:]):
        raise Violation("%s: admission MAC does not match this owner scope and descriptor"
                        % key_path)
    return key


# ---- Reading records ---------------------------------------------------------------------

class Members(list):
    """A JSON object as its (name, value) pairs in document order, repeats included."""


def _not_strict(name):
    raise ValueError("not strict JSON: " + name)


def repeated_member(value, pointer=""):
    """Returns the JSON Pointer of the first object member whose name repeats, or None."""
    if isinstance(value, Members):
        seen = set()
        for name, member in value:
            if name in seen:
                return pointer + "/" + name
            seen.add(name)
        children = [(pointer + "/" + name, member) for name, member in value]
    elif isinstance(value, list):
        children = [(pointer + "/" + str(i), e) for i, e in enumerate(value)]
    else:
        return None
    for child_pointer, child in children:
        found = repeated_member(child, child_pointer)
        if found is not None:
            return found
    return None


class Reader:
    """A cursor over one record's bytes; every read checks that the bytes are there."""

    def __init__(self, data, where):
        self.data = data
        self.pos = 0
        self.where = where

    def fail(self, what):
        raise Violation("%s at byte %d: %s" % (self.where, self.pos, what))

    def take(self, n, what):
        if len(self.data) - self.pos < n:
            self.fail("%s needs %d bytes, %d remain" % (what, n, len(self.data) - self.pos))
        out = self.data[self.pos:self.pos + n]
        self.pos += n
        return out

    def u64(self, what):
        return int.from_bytes(self.take(8, what), "big")

    def count(self, what):
        # Every element takes at least 8 bytes, so a larger count cannot be honest.
        n = self.u64(what)
        if n > (len(self.data) - self.pos) // 8:
            self.fail("%s %d is more than the remaining bytes could hold" % (what, n))
        return n

    def enum32(self, what, largest):
        start = self.pos
        value = self.u64(what)
        if value > largest:
            self.pos = start
            self.fail("%s %d is out of range 0..%d" % (what, value, largest))
        return value

    def boolean(self, what):
        return self.enum32(what, 1) == 1

    def bytes(self, what):
        return self.take(self.u64(what + " length"), what)

    def raw32(self, what):
        return self.take(32, what)

    def optional_bytes(self, what):
        return self.bytes(what) if self.boolean(what + " present") else None

    def string_list(self, what):
        return [self.bytes(what) for _ in range(self.count(what + " count"))]

    def optional_json(self, what, repeats_allowed):
        """Returns the document's text, or None when absent."""
        if not self.boolean(what + " present"):
            return None
        start = self.pos
        text = self.bytes(what)
        try:
            value = json.loads(text.decode("utf-8"), object_pairs_hook=Members,
                               parse_constant=_not_strict)
        except (ValueError, RecursionError) as error:
            self.pos = start
            self.fail("%s is not JSON: %s" % (what, error))
        if not repeats_allowed:
            pointer = repeated_member(value)
            if pointer is not None:
                self.pos = start
                self.fail("%s repeats the member %s" % (what, pointer))
        return text.decode("utf-8")


def tool_call_head(r, b):
    b["id"] = r.bytes("tool call id")
    b["name"] = r.bytes("tool call name")
    b["kind"] = r.enum32("tool call kind", MAX_TOOL_CALL_KIND)
    b["input"] = r.bytes("tool call input")
    b["native"] = r.optional_json("tool call native", True)


def read_block(r):
    """Returns (kind name, members) in the shape digest_reference.py feeds."""
    start = r.pos
    index = r.u64("block kind")
    if index >= len(digest_reference.KINDS):
        r.pos = start
        r.fail("block kind %d is out of range 0..%d" % (index, len(digest_reference.KINDS) - 1))
    kind = digest_reference.KINDS[index]
    b = {}
    if kind == "text":
        b["text"] = r.bytes("text")
    elif kind == "refusal":
        b["text"] = r.bytes("refusal text")
        b["detail"] = r.bytes("refusal detail")
    elif kind == "tool_call":
        tool_call_head(r, b)
        b["arguments"] = r.optional_json("tool call arguments", False)
    elif kind == "invalid_tool_call":
        tool_call_head(r, b)
        b["error"] = r.bytes("invalid tool call error")
        b["error_code"] = r.enum32("invalid tool call error_code", MAX_ERROR_CODE)
    elif kind == "thinking":
        b["text"] = r.bytes("thinking text")
        b["signature"] = r.optional_bytes("thinking signature")
    elif kind == "redacted_thinking":
        b["data"] = r.bytes("redacted thinking data")
    elif kind == "server_tool_result":
        b["call_id"] = r.bytes("server tool result call_id")
        b["name"] = r.bytes("server tool result name")
        b["content"] = r.optional_json("server tool result content", True)
    elif kind == "tool_result":
        b["call_id"] = r.bytes("tool result call_id")
        b["content"] = r.bytes("tool result content")
        b["is_error"] = r.boolean("tool result is_error")
        b["host"] = None
        if r.boolean("tool result host present"):
            b["host"] = {"label": r.bytes("host label"), "note": r.bytes("host note"),
                         "flag_a": r.boolean("host flag_a"),
                         "flag_b": r.boolean("host flag_b")}
    elif kind == "reasoning":
        b["id"] = r.bytes("reasoning id")
        b["summary"] = r.string_list("reasoning summary")
        b["encrypted_content"] = r.optional_bytes("reasoning encrypted_content")
        b["status"] = r.optional_bytes("reasoning status")
        b["content"] = r.string_list("reasoning content")
    elif kind == "opaque":
        b["type"] = r.bytes("opaque type")
        b["payload"] = r.optional_json("opaque payload", True)
    elif kind == "image":
        b["media_type"] = r.bytes("image media_type")
        b["data"] = r.optional_bytes("image data")
        b["detail"] = r.enum32("image detail", MAX_IMAGE_DETAIL)
    else:  # thought
        b["summary"] = r.string_list("thought summary")
        b["signature"] = r.optional_bytes("thought signature")
    return kind, b


def read_context(r, descriptor):
    c = {"family": r.enum32("context family", len(FAMILY_NAMES) - 1),
         "model": r.bytes("context model"), "path": r.bytes("context path"),
         "history_count": r.u64("context history_count")}
    start = r.pos
    policy = r.bytes("context policy identity")
    if policy != descriptor["policy_identity"].encode("utf-8"):
        r.pos = start
        r.fail("context policy identity %r is not the descriptor's" % policy)
    c["descriptor_digest"] = r.raw32("context descriptor_digest")
    c["prefix_digest"] = r.raw32("context prefix_digest")
    for flag in ("bound", "history_replayable", "can_issue_replays"):
        c[flag] = r.boolean("context " + flag)
    c["server_tool_calls"] = [(r.bytes("server tool call id"), r.bytes("server tool name"))
                              for _ in range(r.count("server tool call count"))]
    c["client_tools"] = r.string_list("client tools")
    return c


def context_descriptor(d):
    """The descriptor in the shape context_reference.py digests."""
    return {"family": d["family"], "policy_identity": d["policy_identity"], "id": d["id"],
            "base_url": d["base_url"], "paths": d["paths"],
            "model_member": d["request_model_member"],
            "messages_member": d["request_messages_member"],
            "stream_member": d["request_stream_member"],
            "max_tokens_member": d["max_output_tokens_member"],
            "usage_path": d["usage_path"], "headers": d["headers"],
            "stop_mappings": d["stop_mappings"]}


def check_replay(where, message, context, replay, descriptor):
    """Refuses what loading refuses: a token that could not be archived with its message,
    or a context that does not belong to the archive's descriptor."""
    family = FAMILY_NAMES[context["family"]]
    if not context["bound"] or not context["can_issue_replays"]:
        raise Violation("%s: replay context is not bound or cannot issue replays" % where)
    if family != descriptor["family"]:
        raise Violation("%s: replay context family %s, descriptor family %s"
                        % (where, family, descriptor["family"]))
    if context["path"] not in [p.encode("utf-8") for p in descriptor["paths"]]:
        raise Violation("%s: replay context path %r is not one of the descriptor's"
                        % (where, context["path"]))
    expected = context_reference.descriptor_digest(context_descriptor(descriptor))
    if context["descriptor_digest"] != expected:
        raise Violation("%s: replay context descriptor_digest %s, the descriptor gives %s"
                        % (where, context["descriptor_digest"].hex(), expected.hex()))
    if not replay["valid"]:
        return
    if not context["history_replayable"]:
        raise Violation("%s: valid replay under a context whose history is not replayable"
                        % where)
    labels = context_reference.labels(family)
    digest = digest_reference.content_digest(message, labels["content"], labels["output"])
    if replay["content_digest"] != digest:
        raise Violation("%s: replay content_digest %s, the message digests to %s"
                        % (where, replay["content_digest"].hex(), digest.hex()))


def text(data):
    return data.decode("utf-8", "backslashreplace")


def read_record(data, name, owner, digest, descriptor):
    r = Reader(data, name)
    label = r.bytes("label")
    if label != RECORD_LABEL:
        r.fail("label %r, expected %r" % (label, RECORD_LABEL))
    if r.bytes("owner scope") != owner:
        r.fail("owner scope is not %r" % owner)
    if r.bytes("descriptor digest") != digest:
        r.fail("descriptor digest is not the descriptor's %s" % digest.hex())
    scope = r.bytes("record scope")
    messages = []
    for i in range(r.count("message count")):
        where = "%s message %d" % (name, i)
        message = {"id": r.bytes("message id"), "role": r.enum32("message role", MAX_ROLE),
                   "content": [read_block(r) for _ in range(r.count("block count"))]}
        message["native"] = r.optional_json("message native", True)
        shown = {"id": text(message["id"]), "role": message["role"],
                 "kinds": [digest_reference.KINDS.index(k) for k, _ in message["content"]],
                 "replay": None}
        if r.boolean("replay present"):
            context = read_context(r, descriptor)
            replay = {"stop_kind": r.enum32("replay stop_kind", MAX_STOP_KIND),
                      "content_digest": r.raw32("replay content_digest"),
                      "valid": r.boolean("replay valid")}
            check_replay(where, message, context, replay, descriptor)
            shown["replay"] = {"family": context["family"],
                               "history_count": context["history_count"],
                               "valid": replay["valid"], "stop_kind": replay["stop_kind"],
                               "content_digest": replay["content_digest"].hex()}
        messages.append(shown)
    if r.pos != len(data):
        r.fail("%d bytes follow the last message" % (len(data) - r.pos))
    return {"scope": text(scope), "messages": messages}


# ---- The store -------------------------------------------------------------------------

def is_hex64(name):
    return len(name) == 64 and all(c in HEX_DIGITS for c in name)


def read_store(store, key, owner, digest, descriptor):
    check_private(store, 0o700)
    records, staging = {}, []
    for name in sorted(os.listdir(store)):
        path = os.path.join(store, name)
        if name.startswith(STAGING_PREFIX) and is_hex64(name[len(STAGING_PREFIX):]):
            staging.append(name)
            continue
        if not is_hex64(name):
            raise Violation("%s: neither a record name nor a staging name" % path)
        check_private(path, 0o400)
        with open(path, "rb") as f:
            data = f.read()
        mac = hmac.new(key, data, hashlib.sha256).hexdigest()
        if not hmac.compare_digest(mac, name):
            raise Violation("%s: the record's MAC is %s, not its name" % (path, mac))
        records[name] = read_record(data, name, owner, digest, descriptor)
    return {"records": records, "staging": staging}


def main(argv):
    parser = argparse.ArgumentParser(
        description=__doc__.split("\n\n")[0],
        epilog=__doc__.split("\n\n", 3)[3], formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--store", required=True, help="the store directory")
    parser.add_argument("--key", required=True, help="the key file (96 bytes)")
    parser.add_argument("--owner", required=True, help="the owner scope the archive was made with")
    parser.add_argument("--descriptor", required=True, help="the descriptor as JSON (see below)")
    args = parser.parse_args(argv)
    try:
        descriptor = load_descriptor(args.descriptor)
        digest = descriptor_digest(descriptor)
        owner = os.fsencode(args.owner)
        key = custody_key(args.key, args.store, owner, digest)
        report = {"descriptor_digest": digest.hex()}
        report.update(read_store(args.store, key, owner, digest, descriptor))
    except (Violation, OSError, ValueError) as error:
        print("archive_reader: %s" % error, file=sys.stderr)
        return 1
    json.dump(report, sys.stdout, indent=1, sort_keys=True)
    sys.stdout.write("\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
