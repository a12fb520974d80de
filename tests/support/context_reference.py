#!/usr/bin/env python3
"""Independent reference of the descriptor digest, the five configuration digests, the
binding of chat raw inputs, the responses cursor digest and whole-history prefixes.

Like digest_reference.py, whose framing, canonical JSON and content digests it builds
on, it is written from the format's description alone and shares no code with the C++
library. The golden digests it prints pin the persisted format of native contexts.

Usage:
  context_reference.py                 print the golden table (C++ initialiser lines)
  context_reference.py --check FILE    exit 1 unless FILE holds exactly that table

Only the Python standard library is used; SHA-256 comes from hashlib.
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import digest_reference  # noqa: E402
from digest_reference import (  # noqa: E402
    ROLES, TOOL_CALL_KINDS, Stream, content_digest, message, prefix_step)

FAMILIES = {
    # name: (short name used in labels)
    "anthropic.messages": "messages",
    "openai.responses": "responses",
    "google.generate": "gemini",
    "google.interactions": "interactions",
    "openai.chat": "chat",
}
DEFAULT_ANTHROPIC_VERSION = "2023-06-01"  # the descriptor stand-in's family default


def labels(family_name):
    short = FAMILIES[family_name]
    return {kind: "zu.%s.%s.v1" % (short, kind)
            for kind in ("origin", "content", "prefix", "output", "configuration")}


# ---- Small feeds ---------------------------------------------------------------------

def optional(s, value):
    """An optional scalar: text as bytes, a bool as 0/1, an int as u64."""
    s.boolean(value is not None)
    if value is None:
        return
    if isinstance(value, bool):
        s.boolean(value)
    elif isinstance(value, int):
        s.u64(value)
    else:
        s.bytes(value)


def optional_enum(s, value):
    s.boolean(value is not None)
    if value is not None:
        s.u64(value)


# ---- Descriptor digest ---------------------------------------------------------------

def descriptor_digest(d):
    family = d["family"]
    s = Stream()
    s.bytes(labels(family)["origin"])
    s.bytes(d["policy_identity"])
    s.bytes(family)
    s.bytes(d["id"])
    s.bytes(d["base_url"])
    if family == "google.generate":
        s.bytes(d["paths"][0])
        s.bytes(d["paths"][1])
    for member in ("model_member", "messages_member", "stream_member", "max_tokens_member"):
        s.bytes(d[member])
    s.text_list(d["usage_path"])
    s.u64(len(d["stop_mappings"]))
    for text, kind in d["stop_mappings"]:
        s.bytes(text)
        s.signed32(kind)

    messages_family = family == "anthropic.messages"
    kept = []
    version = None
    for name, value in d["headers"]:
        lowered = "".join(chr(ord(c) + 32) if "A" <= c <= "Z" else c for c in name)
        if lowered in ("accept", "content-type"):
            continue
        if messages_family and lowered == "anthropic-version":
            version = value
            continue
        kept.append((lowered.encode("utf-8"), value.encode("utf-8")))
    kept.sort()
    s.u64(len(kept))
    for name, value in kept:
        s.bytes(name)
        s.bytes(value)
    if messages_family:
        s.bytes("anthropic-version")
        s.bytes(version if version is not None else DEFAULT_ANTHROPIC_VERSION)
    return s.digest()


# ---- Configuration digests -----------------------------------------------------------

def configuration_start(s, family_name, choices, model):
    s.bytes(labels(family_name)["configuration"])
    optional(s, choices["max_output_tokens"])
    optional(s, choices["parallel_tool_calls"])
    optional(s, choices["store"])
    s.boolean(choices["thinking_enabled"])
    if choices["thinking_enabled"]:
        optional(s, choices["thinking_effort"])
        optional(s, choices["thinking_summary"])
    optional(s, choices["service_tier"])
    optional(s, choices["user"])
    optional(s, choices["seed"])
    optional(s, choices["thinking_budget_tokens"])
    s.bytes(model)


def routing(s, r):
    s.boolean(r is not None)
    if r is None:
        return
    for flag in ("allow_fallbacks", "require_parameters", "zero_data_retention"):
        optional(s, r[flag])
    for texts in ("order", "only", "ignore"):
        s.text_list(r[texts])
    optional(s, r["sort"])


def response_format(s, f):
    s.boolean(f is not None)
    if f is None:
        return
    s.u64(f["type"])
    s.bytes(f["name"])
    s.bytes(f["description"])
    s.document(f["schema"])
    optional(s, f["strict"])


def plain_tools(s, tools):
    s.u64(len(tools))
    for tool in tools:
        s.bytes(tool["name"])
        s.bytes(tool["description"])
        s.document(tool["parameters"])


BUILTIN_INDEX = {"web_search": 0, "image_generation": 1, "file_search": 2,
                 "tool_search": 3, "shell": 4}


def configuration_digest(family_name, request, choices, tool_flag_default=None):
    s = Stream()
    configuration_start(s, family_name, choices, request["model"])
    short = FAMILIES[family_name]
    if short == "chat":
        routing(s, request["routing"])
        response_format(s, request["response_format"])
        reasoning = request["reasoning"]
        s.boolean(reasoning is not None)
        if reasoning is not None:
            for member in ("effort", "max_tokens", "exclude", "enabled"):
                optional(s, reasoning[member])
        optional(s, request["logprobs"])
        optional(s, request["include_usage"])
        s.text_list(request["stop"])
        plain_tools(s, request["tools"])
    elif short == "gemini":
        s.bytes(request["system_instruction"])
        s.bytes(request["cached_content"])
        s.u64(len(request["safety_settings"]))
        for category, threshold in request["safety_settings"]:
            s.u64(category)
            s.u64(threshold)
        plain_tools(s, request["tools"])
    elif short == "interactions":
        s.bytes(request["system_instruction"])
        s.bytes(request["previous_interaction_id"])
        plain_tools(s, request["tools"])
    elif short == "messages":
        # The second text goes first in this family.
        s.bytes(request["user_id"])
        s.bytes(request["system"])
        optional_enum(s, request["thinking_mode"])
        optional_enum(s, request["output_effort"])
        cache = request["cache_control"]
        s.boolean(cache is not None)
        if cache is not None:
            optional_enum(s, cache["ttl"])
        routing(s, request["routing"])
        s.u64(len(request["tools"]))
        for tool in request["tools"]:
            s.bytes(tool["name"])
            s.bytes(tool["description"])
            s.document(tool["parameters"])
            s.bytes(tool["type"])
            optional(s, tool["max_uses"])
    elif short == "responses":
        s.bytes(request["instructions"])
        s.bytes(request["prompt_cache_key"])
        s.boolean(bool(request["background"]))
        optional(s, request["max_tool_calls"])
        routing(s, request["routing"])
        response_format(s, request["response_format"])
        optional(s, request["stream_obfuscation"])
        optional_enum(s, request["verbosity"])
        optional_enum(s, request["truncation"])
        include = request["include"]
        s.boolean(include is not None)
        if include is not None:
            s.u64(len(include))
            for value in include:
                s.u64(value)
        s.u64(len(request["builtin_tools"]))
        for kind, members in request["builtin_tools"]:
            s.signed32(BUILTIN_INDEX[kind])
            if kind == "image_generation":
                optional(s, members["quality"])
                optional(s, members["size"])
            elif kind == "file_search":
                s.text_list(members["store_ids"])
            elif kind == "shell":
                s.text_list(members["skills"])
        s.u64(len(request["tools"]))
        for tool in request["tools"]:
            s.bytes(tool["name"])
            s.bytes(tool["description"])
            s.document(tool["parameters"])
            strict = tool["strict"] if tool["strict"] is not None else tool_flag_default
            optional(s, strict)
            s.boolean(bool(tool["defer_loading"]))
    else:
        raise ValueError(family_name)
    return s.digest()


# ---- Prefixes ------------------------------------------------------------------------

def history_prefix(family_name, start, history):
    names = labels(family_name)
    prefix = start
    for index, entry in enumerate(history):
        prefix = prefix_step(names["prefix"], index, prefix,
                             content_digest(entry, names["content"], names["output"]))
    return prefix


def chat_input_as_message(entry):
    """The message a raw chat input stands for."""
    if entry["role"] == ROLES["tool"]:
        blocks = [("tool_result", {"call_id": entry["tool_call_id"],
                                   "content": entry["content"], "is_error": False,
                                   "host": None})]
    else:
        blocks = [("image", image) for image in entry["images"]]
        if entry["content"] or not entry["images"]:
            blocks.append(("text", {"text": entry["content"]}))
        blocks += [("tool_call", call) for call in entry["tool_calls"]]
    return message(blocks, id="", role=entry["role"])


def cursor_digest(prefix, cursor):
    s = Stream()
    s.bytes("zu.responses.cursor.v1")
    s.raw32(prefix)
    s.bytes(cursor)
    return s.digest()


# ---- The golden cases ----------------------------------------------------------------
# Each case is built identically, by name, in tests/core/native/golden_context_test.cpp.

POLICY_IDENTITY = "zu.golden.policy.v1"
SCHEMA = '{"type":"object","properties":{"city":{"type":"string"}},"required":["city"]}'
ARGUMENTS = '{"city":"Oslo"}'

HEADERS = [("X-Team", "blue"), ("Accept", "application/json"),
           ("anthropic-version", "2024-01-01"), ("Content-Type", "application/json"),
           ("x-team", "Alpha"), ("X-Trace", "on"), ("ANTHROPIC-VERSION", "2025-02-02")]


def descriptor(family_name, headers=HEADERS):
    return {"family": family_name, "policy_identity": POLICY_IDENTITY,
            "id": "golden-" + FAMILIES[family_name], "base_url": "https://api.example.test",
            "paths": ["/v1/generate", "/v1/generate:stream"], "model_member": "model",
            "messages_member": "messages", "stream_member": "stream",
            "max_tokens_member": "max_tokens", "usage_path": ["usage", "totals"],
            "headers": headers,
            "stop_mappings": [("end_turn", 0), ("max_tokens", 2), ("refusal", 7)]}


THINKING = {"max_output_tokens": 4096, "parallel_tool_calls": True, "store": None,
            "thinking_enabled": True, "thinking_effort": "high", "thinking_summary": None,
            "service_tier": "priority", "user": None, "seed": 7,
            "thinking_budget_tokens": 2048}
# Thinking off, with an effort left behind that must not count.
PLAIN = dict(THINKING, thinking_enabled=False, thinking_effort="low",
             thinking_summary="auto")

WEATHER = {"name": "get_weather", "description": "Weather by city", "parameters": SCHEMA}
NOW = {"name": "now", "description": "", "parameters": None}

REQUESTS = {
    "openai.chat": ({
        "model": "chat-golden", "tools": [WEATHER, NOW],
        "routing": {"allow_fallbacks": False, "require_parameters": None,
                    "zero_data_retention": True, "order": ["alpha", "beta"], "only": [],
                    "ignore": ["gamma"], "sort": "price"},
        "response_format": {"type": 2, "name": "forecast", "description": "A forecast",
                            "schema": '{"type":"object"}', "strict": True},
        "reasoning": {"effort": "medium", "max_tokens": None, "exclude": False,
                      "enabled": True},
        "logprobs": True, "include_usage": None, "stop": ["\n\n", "END"]}, PLAIN),
    "google.generate": ({
        "model": "gen-golden", "system_instruction": "Answer briefly.",
        "cached_content": "cachedContents/42", "tools": [WEATHER],
        "safety_settings": [(1, 2), (4, 4)]}, PLAIN),
    "google.interactions": ({
        "model": "int-golden", "system_instruction": "Be kind.",
        "previous_interaction_id": "int_7", "tools": [WEATHER, NOW]}, THINKING),
    "anthropic.messages": ({
        "model": "msg-golden", "system": "You are terse.", "user_id": "user-17",
        "tools": [dict(WEATHER, type="", max_uses=None),
                  {"name": "web_search", "description": "", "parameters": None,
                   "type": "web_search_v1", "max_uses": 5}],
        "thinking_mode": 1, "output_effort": None, "cache_control": {"ttl": 1},
        "routing": {"allow_fallbacks": None, "require_parameters": None,
                    "zero_data_retention": None, "order": [], "only": [], "ignore": [],
                    "sort": None}}, THINKING),
    "openai.responses": ({
        "model": "resp-golden", "instructions": "Use tools.", "prompt_cache_key": "pck-1",
        "tools": [dict(WEATHER, strict=None, defer_loading=None),
                  dict(NOW, strict=False, defer_loading=True)],
        "background": None, "response_format": None, "routing": None,
        "builtin_tools": [("web_search", {}),
                          ("image_generation", {"quality": "high", "size": None}),
                          ("file_search", {"store_ids": ["vs_1", "vs_2"]}),
                          ("tool_search", {}), ("shell", {"skills": ["skill_a"]})],
        "max_tool_calls": 3, "stream_obfuscation": False, "verbosity": 0,
        "truncation": None, "include": [3, 1]}, THINKING),
}
TOOL_FLAG_DEFAULT = True


def weather_call(call_id):
    return ("tool_call", {"id": call_id, "name": "get_weather",
                          "kind": TOOL_CALL_KINDS["client"], "arguments": ARGUMENTS,
                          "input": "", "native": None})


QUESTION = message([("text", {"text": "What is the weather in Oslo?"})], id="", role="user")
TOOL_ANSWER = message([("tool_result", {"call_id": "call_1", "content": "sunny, 12 C",
                                        "is_error": False, "host": None})],
                      id="", role="tool")
REPLIES = {
    "anthropic.messages": message(
        [("thinking", {"text": "The user wants weather.", "signature": "sig-abc"}),
         ("text", {"text": "Let me check."}), weather_call("toolu_1")], id="msg_01"),
    "openai.responses": message(
        [("reasoning", {"id": "rs_1", "summary": ["Look up weather"],
                        "encrypted_content": "enc-1", "status": None, "content": []}),
         weather_call("call_1")], id="resp_1",
        native='[{"type":"reasoning","id":"rs_1"},{"type":"function_call","call_id":"call_1"}]'),
    "google.generate": message(
        [("thought", {"summary": ["Need weather"], "signature": "sig-g"}),
         weather_call("fc_1")], id="",
        native='[{"functionCall":{"name":"get_weather","args":{"city":"Oslo"}}}]'),
    "google.interactions": message(
        [("text", {"text": "Sunny."})], id="int_8",
        native='[{"type":"text","text":"Sunny."}]'),
    "openai.chat": message([weather_call("call_9")], id="chatcmpl-1"),
}

CHAT_INPUTS = [
    {"role": ROLES["user"], "content": "Describe this.", "tool_calls": [],
     "tool_call_id": "", "images": [{"media_type": "image/png", "data": "iVBORw0KGgo=",
                                     "detail": 2}]},
    {"role": ROLES["assistant"], "content": "", "tool_calls": [weather_call("call_9")[1]],
     "tool_call_id": "", "images": []},
    {"role": ROLES["tool"], "content": "sunny", "tool_call_id": "call_9", "tool_calls": [],
     "images": []},
]


def cases():
    out = []
    for family_name, short in FAMILIES.items():
        out.append(("descriptor." + short, descriptor_digest(descriptor(family_name))))
    out.append(("descriptor.messages_default_version",
                descriptor_digest(descriptor("anthropic.messages", headers=[("X-Team", "blue")]))))
    configurations = {}
    for family_name, short in FAMILIES.items():
        request, choices = REQUESTS[family_name]
        configurations[family_name] = configuration_digest(family_name, request, choices,
                                                           TOOL_FLAG_DEFAULT)
        out.append(("configuration." + short, configurations[family_name]))
    for family_name, short in FAMILIES.items():
        history = [QUESTION, REPLIES[family_name], TOOL_ANSWER]
        out.append(("prefix." + short,
                    history_prefix(family_name, configurations[family_name], history)))
    out.append(("prefix.chat_inputs",
                history_prefix("openai.chat", configurations["openai.chat"],
                               [chat_input_as_message(entry) for entry in CHAT_INPUTS])))
    cursor = cursor_digest(configurations["openai.responses"], "resp_1")
    out.append(("prefix.responses_cursor",
                history_prefix("openai.responses", cursor, [QUESTION])))
    return out


if __name__ == "__main__":
    sys.exit(digest_reference.main(
        sys.argv, digest_reference.table("context_reference.py", cases), __doc__))
