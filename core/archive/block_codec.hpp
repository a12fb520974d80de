// The bodies of the twelve content blocks in a custody record. Each block is its kind
// index (its position in ContentBlock, 0 to 11) followed by its members in declaration
// order:
//
//   0 Text              text
//   1 Refusal           text, detail
//   2 ToolCall          id, name, kind (enum32 <= 2), input, native JSON (repeated
//                       members allowed), arguments JSON (no repeated members)
//   3 InvalidToolCall   id, name, kind (enum32 <= 2), input, native JSON (repeated
//                       members allowed), error, error_code (enum32 <= 5)
//   4 Thinking          text, optional signature
//   5 RedactedThinking  data
//   6 ServerToolResult  call_id, name, content JSON (repeated members allowed)
//   7 ToolResult        call_id, content, is_error, whether host is present, then
//                       host's label, note, flag_a, flag_b
//   8 Reasoning         id, summary list, optional encrypted_content, optional status,
//                       content list
//   9 Opaque            type, payload JSON (repeated members allowed)
//  10 Image             media_type, whether data is present, then data, detail
//                       (enum32 <= 3)
//  11 Thought           summary list, optional signature
#pragma once

#include "archive/record_reader.hpp"
#include "archive/record_writer.hpp"
#include "zu/content_block.hpp"

namespace zu::archive {

// write_block appends one block. Throws std::bad_variant_access for a block without a
// value, and archive_fs::Rejected for a block that does not fit or that a reader would
// refuse.
void write_block(RecordWriter& writer, const ContentBlock& block);

// read_block reads one block, kind index first. Throws archive_fs::Rejected for an
// unknown kind or a malformed body.
ContentBlock read_block(RecordReader& reader);

}  // namespace zu::archive
