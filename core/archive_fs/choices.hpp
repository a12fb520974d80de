// The small choices that the file-system layer's own calls take, named so that each call
// reads as what it asks for.
#pragma once

namespace zu::archive_fs {

// Kind is the kind of object a call means: the layer deals in these two alone.
enum class Kind { directory, file };

// Missing says what a name that does not exist is to an open: a refusal, or an empty
// Handle.
enum class Missing { refused, allowed };

}  // namespace zu::archive_fs
