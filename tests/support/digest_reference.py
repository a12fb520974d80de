#!/usr/bin/env python3
"""Independent reference of the digest framing, canonical JSON hashing, message
content digests and the prefix step.

It is written from the format's description alone and shares no code with the C++
library, so that the golden digests it prints pin the persisted format: a change to any
feed order in the library makes the C++ golden test fail, and a change to the goldens
that this script does not reproduce makes `--check` fail.

Usage:
  digest_reference.py                 print the golden table (C++ initialiser lines)
  digest_reference.py --check FILE    exit 1 unless FILE holds exactly that table

Only the Python standard library is used; SHA-256 comes from hashlib.
"""

import hashlib
import json
import struct
import sys

U64 = 1 << 64


# ---- Framing -------------------------------------------------------------------------

class Stream:
    """One digest stream: the framing primitives over a SHA-256."""

    def __init__(self):
        self._hash = hashlib.sha256()

    def u64(self, value):
        # Negative values arrive already sign-extended by the callers below; reducing
        # modulo 2^64 turns them into their two's complement.
        self._hash.update((value % U64).to_bytes(8, "big"))

    def bytes(self, data):
        if isinstance(data, str):
            data = data.encode("utf-8")
        self.u64(len(data))
        self._hash.update(data)

    def raw32(self, digest):
        assert len(digest) == 32
        self._hash.update(digest)

    def boolean(self, value):
        self.u64(1 if value else 0)

    def signed32(self, value):
        assert -(1 << 31) <= value < (1 << 31)
        self.u64(value)

    def optional_text(self, value):
        self.boolean(value is not None)
        if value is not None:
            self.bytes(value)

    def text_list(self, values):
        self.u64(len(values))
        for value in values:
            self.bytes(value)

    def document(self, text):
        """An optional document member: u64(present), then the canonical hash."""
        self.boolean(text is not None)
        if text is not None:
            canonical(self, parse_json(text))

    def digest(self):
        return self._hash.digest()


# ---- Canonical JSON ------------------------------------------------------------------

class Object(list):
    """A JSON object as its (key, value) pairs in document order, repeats included."""


def _integer(literal):
    value = int(literal)
    if literal.startswith("-"):
        return ("int", value) if value >= -(1 << 63) else ("real", float(literal))
    return ("uint", value) if value < U64 else ("real", float(literal))


def _constant(name):
    raise ValueError("not strict JSON: " + name)


def parse_json(text):
    """Parses text keeping every member, and classifies numbers by their literal: a
    non-negative integer within 64 bits is unsigned, a negative one within 64 bits is
    signed (so "-0" too), anything else is a real."""
    return json.loads(text, object_pairs_hook=Object, parse_int=_integer,
                      parse_float=lambda literal: ("real", float(literal)),
                      parse_constant=_constant)


def canonical(stream, value):
    if value is None:
        stream.u64(0)
    elif value is True or value is False:
        stream.u64(1)
        stream.boolean(value)
    elif isinstance(value, str):
        stream.u64(2)
        stream.bytes(value)
    elif isinstance(value, tuple):
        kind, number = value
        if kind == "uint":
            stream.u64(3)
            stream.u64(number)
        elif kind == "int":
            stream.u64(4)
            stream.u64(number)
        else:
            stream.u64(5)
            stream.u64(int.from_bytes(struct.pack(">d", number), "big"))
    elif isinstance(value, Object):
        stream.u64(7)
        stream.u64(len(value))
        # Bytewise ascending keys; sorted() is stable, so equal keys keep their order.
        for key, member in sorted(value, key=lambda pair: pair[0].encode("utf-8")):
            stream.bytes(key)
            canonical(stream, member)
    elif isinstance(value, list):
        stream.u64(6)
        stream.u64(len(value))
        for element in value:
            canonical(stream, element)
    else:
        raise TypeError(value)


# ---- Messages --------------------------------------------------------------------------

KINDS = ["text", "refusal", "tool_call", "invalid_tool_call", "thinking",
         "redacted_thinking", "server_tool_result", "tool_result", "reasoning", "opaque",
         "image", "thought"]

ROLES = {"system": 0, "developer": 1, "user": 2, "assistant": 3, "tool": 4}
TOOL_CALL_KINDS = {"client": 0, "server": 1, "other": 2}
DETAILS = {"auto": 0, "low": 1, "high": 2, "original": 3}


def feed_block(s, kind, b):
    s.u64(KINDS.index(kind))
    if kind == "text":
        s.bytes(b["text"])
    elif kind == "refusal":
        s.bytes(b["text"])
        s.bytes(b["detail"])
    elif kind == "tool_call":
        s.bytes(b["id"])
        s.bytes(b["name"])
        s.signed32(b["kind"])
        s.bytes(b["input"])
        s.document(b["native"])
        s.document(b["arguments"])
    elif kind == "invalid_tool_call":
        s.bytes(b["id"])
        s.bytes(b["name"])
        s.signed32(b["kind"])
        s.bytes(b["input"])
        s.document(b["native"])
        s.bytes(b["error"])
        s.signed32(b["error_code"])
    elif kind == "thinking":
        s.bytes(b["text"])
        s.optional_text(b["signature"])
    elif kind == "redacted_thinking":
        s.bytes(b["data"])
    elif kind == "server_tool_result":
        s.bytes(b["call_id"])
        s.bytes(b["name"])
        s.document(b["content"])
    elif kind == "tool_result":
        s.bytes(b["call_id"])
        s.bytes(b["content"])
        s.boolean(b["is_error"])
        host = b["host"]
        s.boolean(host is not None)
        if host is not None:
            s.bytes(host["label"])
            s.bytes(host["note"])
            s.boolean(host["flag_a"])
            s.boolean(host["flag_b"])
    elif kind == "reasoning":
        s.bytes(b["id"])
        s.text_list(b["summary"])
        s.optional_text(b["encrypted_content"])
        s.optional_text(b["status"])
        s.text_list(b["content"])
    elif kind == "opaque":
        s.bytes(b["type"])
        s.document(b["payload"])
    elif kind == "image":
        s.bytes(b["media_type"])
        s.boolean(b["data"] is not None)
        if b["data"] is not None:
            s.bytes(b["data"])
        s.signed32(b["detail"])
    elif kind == "thought":
        s.text_list(b["summary"])
        s.optional_text(b["signature"])
    else:
        raise ValueError(kind)


def content_digest(message, content_label, output_label):
    s = Stream()
    s.bytes(content_label)
    s.bytes(message["id"])
    s.signed32(message["role"])
    s.u64(len(message["content"]))
    for kind, block in message["content"]:
        feed_block(s, kind, block)
    if message["native"] is not None:
        s.bytes(output_label)
        s.u64(1)
        canonical(s, parse_json(message["native"]))
    return s.digest()


def prefix_step(label, index, prefix, message_digest):
    s = Stream()
    s.bytes(label)
    s.u64(index)
    s.raw32(prefix)
    s.raw32(message_digest)
    return s.digest()


def document_digest(label, text):
    s = Stream()
    s.bytes(label)
    s.document(text)
    return s.digest()


# ---- The golden cases ------------------------------------------------------------------
# Each case is built identically, by name, in tests/core/native/golden_digest_test.cpp.

MESSAGES = ("zu.messages.content.v1", "zu.messages.output.v1")
RESPONSES = ("zu.responses.content.v1", "zu.responses.output.v1")
JSON_LABEL = "zu.test.json.v1"


def message(content, id="msg_1", role="assistant", native=None):
    return {"id": id, "role": ROLES[role] if isinstance(role, str) else role,
            "content": content, "native": native}


BLOCKS = {
    "text": ("text", {"text": "Hello, world"}),
    "refusal": ("refusal", {"text": "I cannot help with that", "detail": "policy"}),
    "tool_call": ("tool_call", {
        "id": "call_1", "name": "search", "kind": TOOL_CALL_KINDS["server"],
        "arguments": '{"q":"oslo","n":3}', "input": '{"q":"oslo"}',
        "native": '{"type":"tool_use","id":"call_1"}'}),
    "tool_call_bare": ("tool_call", {
        "id": "call_0", "name": "now", "kind": TOOL_CALL_KINDS["client"],
        "arguments": None, "input": "", "native": None}),
    "invalid_tool_call": ("invalid_tool_call", {
        "id": "call_2", "name": "lookup", "kind": TOOL_CALL_KINDS["other"],
        "error": "arguments are not JSON", "error_code": 3, "input": "{bad",
        "native": '{"raw":"{bad"}'}),
    "thinking": ("thinking", {"text": "Let me think", "signature": "sig-1"}),
    "thinking_unsigned": ("thinking", {"text": "Let me think", "signature": None}),
    "redacted_thinking": ("redacted_thinking", {"data": "opaque-bytes"}),
    "server_tool_result": ("server_tool_result", {
        "call_id": "srv_1", "name": "web_search",
        "content": '[{"url":"https://example.test","title":"Example"}]'}),
    "tool_result": ("tool_result", {
        "call_id": "call_1", "content": "sunny", "is_error": True,
        "host": {"label": "weather", "note": "cached", "flag_a": True, "flag_b": False}}),
    "tool_result_no_host": ("tool_result", {
        "call_id": "call_1", "content": "sunny", "is_error": False, "host": None}),
    "reasoning": ("reasoning", {
        "id": "rs_1", "summary": ["step one", "step two"], "encrypted_content": "enc",
        "status": None, "content": ["detail"]}),
    "opaque": ("opaque", {"type": "web_search_call",
                          "payload": '{"status":"completed","id":"ws_1"}'}),
    "image": ("image", {"media_type": "image/gif", "data": "R0lGODlhAQABAAAAACw=",
                        "detail": DETAILS["high"]}),
    "image_without_data": ("image", {"media_type": "image/png", "data": None,
                                     "detail": DETAILS["auto"]}),
    "thought": ("thought", {"summary": ["a", "b"], "signature": "sig-2"}),
}

EVERY_KIND = ["text", "refusal", "tool_call", "invalid_tool_call", "thinking",
              "redacted_thinking", "server_tool_result", "tool_result", "reasoning",
              "opaque", "image", "thought"]

SCALARS = ('[null,true,false,"s",0,1,-1,-0,1.0,1e2,0.1,-2.5e-3,18446744073709551615,'
           '18446744073709551616,-9223372036854775808,-9223372036854775809,'
           '"\\u00e9\\u0000\\ud83d\\ude00"]')
SORTED_KEYS = '{"b":1,"a":{"d":[],"c":{}},"":0,"ab":2,"\\u00e9":3,"z":null}'
DUPLICATE_MEMBERS = '{"k":2,"a":0,"k":1}'


def cases():
    out = []
    for name, block in BLOCKS.items():
        out.append(("block." + name, content_digest(message([block]), *MESSAGES)))
    every = message([BLOCKS[name] for name in EVERY_KIND], id="resp_7",
                    native='[{"type":"message","id":"resp_7"},{"b":[1,2.5,-3],"a":true}]')
    out.append(("message.every_kind", content_digest(every, *RESPONSES)))
    out.append(("message.every_kind_messages_labels", content_digest(every, *MESSAGES)))
    out.append(("message.empty", content_digest(message([], id="", role="user"), *MESSAGES)))
    out.append(("message.text_with_native",
                content_digest(message([BLOCKS["text"]], native="[]"), *MESSAGES)))
    widened = message([
        ("tool_call", dict(BLOCKS["tool_call_bare"][1], kind=-2)),
        ("invalid_tool_call", dict(BLOCKS["invalid_tool_call"][1], error_code=-7)),
        ("image", dict(BLOCKS["image"][1], detail=-1)),
    ], role=-1)
    out.append(("message.negative_numbers", content_digest(widened, *MESSAGES)))

    out.append(("json.scalars", document_digest(JSON_LABEL, SCALARS)))
    out.append(("json.sorted_keys", document_digest(JSON_LABEL, SORTED_KEYS)))
    out.append(("json.duplicate_members", document_digest(JSON_LABEL, DUPLICATE_MEMBERS)))
    out.append(("json.absent", document_digest(JSON_LABEL, None)))

    prefix = bytes(32)
    chain = [message([BLOCKS["text"]], id="m0", role="user"),
             message([BLOCKS["tool_call"]], id="m1"),
             message([BLOCKS["tool_result"]], id="m2", role="tool")]
    for index, step in enumerate(chain):
        prefix = prefix_step("zu.messages.prefix.v1", index, prefix,
                             content_digest(step, *MESSAGES))
        out.append(("prefix.step%d" % index, prefix))
    return out


def table(script="digest_reference.py", golden_cases=None):
    """The golden table of `golden_cases` (this module's cases by default), as the C++
    initialiser lines that `script` prints."""
    lines = ["// Generated by tests/support/%s; do not edit by hand." % script]
    lines += ['{"%s", "%s"},' % (name, digest.hex())
              for name, digest in (golden_cases or cases)()]
    return "\n".join(lines) + "\n"


def main(argv, text=None, usage=__doc__):
    """Prints the golden table `text` (this module's by default), or with --check FILE
    compares FILE with it."""
    text = table() if text is None else text
    if len(argv) == 3 and argv[1] == "--check":
        with open(argv[2], encoding="utf-8") as f:
            if f.read() != text:
                sys.stderr.write("%s differs from the reference; regenerate it with %s\n"
                                 % (argv[2], argv[0]))
                return 1
        return 0
    if len(argv) != 1:
        sys.stderr.write(usage)
        return 2
    sys.stdout.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
