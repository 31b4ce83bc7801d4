// vantrel.hpp - C++20 layer over libvantrel, header only.
//
//   vantrel::builder  places tags in a caller's buffer through the C
//                     operations; every add says whether the tag went in.
//   vantrel::reader   checks a blob of either byte order held in memory with
//                     vantrel_reader.h (the way vantrel-dump checks a file),
//                     then hands out its tags as values whose payloads are
//                     views into the buffer.
//
// Nothing here throws or adds exports to the library, and only a scatter
// list of more than 16 pieces allocates (with nothrow new, refused with
// status::no_memory).  Whatever the bytes, the reader reads only inside the
// span it was given and does all its arithmetic without wrapping.
#ifndef VANTREL_HPP
#define VANTREL_HPP

#include <cinttypes>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string_view>

#include "vantrel.h"
#include "vantrel_reader.h"

namespace vantrel {

// ---------------------------------------------------------------- builder

enum class [[nodiscard]] status {
    ok,
    no_room,   // the tag does not fit (or is larger than a tag can be)
    not_open,  // the builder's buffer was refused, or finish() has run
    no_memory, // a long scatter list found no memory for its entries
};

class builder {
public:
    // A buffer larger than 4 GiB is used only up to 4 GiB less one
    // alignment: sizes are 32-bit words in the format.
    explicit builder(std::span<std::byte> buffer, uint32_t alignment = VANTREL_ALIGN_MIN) noexcept
    {
        uint32_t size = buffer.size() > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(buffer.size());
        phase_ = vantrel_init(&state_, buffer.data(), size, alignment) == 0 ? phase::open : phase::refused;
    }
    builder(const builder &) = delete;
    builder &operator=(const builder &) = delete;

    // False when the buffer cannot hold even an empty blob.
    bool ok() const noexcept { return phase_ != phase::refused; }
    // The alignment in effect (the request fixed to a power of two in range).
    uint32_t alignment() const noexcept { return state_.align; }
    // Bytes taken so far, start tag included and end tag not (until finish).
    std::size_t used() const noexcept
    {
        return phase_ == phase::refused ? 0 : static_cast<std::size_t>(state_.cur - state_.base);
    }

    [[nodiscard]] status add_string(uint32_t id, std::string_view text) noexcept
    {
        if (phase_ != phase::open)
            return status::not_open;
        if (text.size() > UINT32_MAX)
            return status::no_room;
        return result(vantrel_add_string(&state_, text.data(), static_cast<uint32_t>(text.size()), id));
    }

    [[nodiscard]] status add_integer(uint32_t id, uint64_t value) noexcept
    {
        if (phase_ != phase::open)
            return status::not_open;
        return result(vantrel_add_integer(&state_, value, id));
    }

    [[nodiscard]] status add_data(uint32_t id, uint32_t type, std::span<const std::byte> data) noexcept
    {
        if (phase_ != phase::open)
            return status::not_open;
        if (data.size() > UINT32_MAX)
            return status::no_room;
        return result(vantrel_add_data_block(&state_, data.data(), static_cast<uint32_t>(data.size()),
                                             type, id));
    }

    // One data block holding the pieces' bytes one after the other.  Empty
    // pieces are skipped (the C list would end at them), and a list with no
    // bytes at all places nothing, as vantrel_add_scatter_data_block does.
    [[nodiscard]] status add_scatter(uint32_t id, uint32_t type,
                                     std::span<const std::span<const std::byte>> pieces) noexcept
    {
        if (phase_ != phase::open)
            return status::not_open;
        std::size_t count = 0;
        uint64_t total = 0;
        for (std::span<const std::byte> piece : pieces) {
            if (piece.size() > UINT32_MAX - total)
                return status::no_room;
            total += piece.size();
            count += piece.empty() ? 0u : 1u;
        }
        if (count == 0)
            return status::ok;

        vantrel_scatter inline_list[inline_pieces + 1];
        std::unique_ptr<vantrel_scatter[]> heap_list;
        vantrel_scatter *list = inline_list;
        if (count > inline_pieces) {
            heap_list.reset(new (std::nothrow) vantrel_scatter[count + 1]);
            if (!heap_list)
                return status::no_memory;
            list = heap_list.get();
        }
        std::size_t at = 0;
        for (std::span<const std::byte> piece : pieces)
            if (!piece.empty())
                list[at++] = vantrel_scatter{piece.data(), static_cast<uint32_t>(piece.size())};
        list[at] = vantrel_scatter{nullptr, 0};
        return result(vantrel_add_scatter_data_block(&state_, list, type, id));
    }

    // Closes the blob and returns it; later calls return the same blob.
    // Empty when the buffer was refused.
    std::span<std::byte> finish() noexcept
    {
        if (phase_ == phase::open)
            phase_ = vantrel_end(&state_) == 0 ? phase::finished : phase::refused;
        if (phase_ != phase::finished)
            return {};
        return {reinterpret_cast<std::byte *>(state_.base), vantrel_get_used_size(&state_)};
    }

private:
    static constexpr std::size_t inline_pieces = 16;
    enum class phase { refused, open, finished };

    static status result(int32_t code) noexcept { return code == 0 ? status::ok : status::no_room; }

    vantrel_state state_{};
    phase phase_ = phase::refused;
};

// ----------------------------------------------------------------- reader
//
// A thin layer over vantrel_reader.h: the checks, offsets and reasons are
// the C reader's, which are vantrel-dump's.

// What the reader found wrong: the C reader's fault codes (enum
// vantrel_fault_code), value for value.  The offset is the one
// vantrel-dump shows for the same file (0 for the faults of the blob's own
// start tag).
enum class error_code : uint8_t {
    none = VANTREL_E_NONE,
    short_start_tag = VANTREL_E_SHORT,          // fewer than 16 bytes
    start_tag_not_found = VANTREL_E_NO_START,
    start_reserved = VANTREL_E_START_RESERVED,  // the blob's own start tag
    missing_end_tag = VANTREL_E_MISSING_END,
    invalid_start_length = VANTREL_E_START_LENGTH,
    unexpected_eof = VANTREL_E_EOF,
    invalid_tag_size = VANTREL_E_TAG_SIZE,
    junk_after_end_tag = VANTREL_E_JUNK,
    unknown_tag = VANTREL_E_UNKNOWN_TAG,        // value: the tag code
    nested_reserved = VANTREL_E_NESTED_RESERVED,// value: the reserved word
    nested_too_deep = VANTREL_E_TOO_DEEP,
};

struct blob_error {
    error_code code = error_code::none;
    uint64_t offset = 0;
    uint32_t value = 0;
};

// The reason without its number, as vantrel-dump words it.
inline std::string_view reason_text(error_code code) noexcept
{
    return code == error_code::none ? "no error" : vantrel_fault_text(static_cast<int>(code));
}

struct reason_buffer {
    char text[VANTREL_REASON_SIZE];
};

// The full reason, numbers included: "unknown tag: 0x7A600009".
inline reason_buffer describe(const blob_error &error) noexcept
{
    reason_buffer out{};
    if (error.code == error_code::none)
        std::snprintf(out.text, sizeof out.text, "%s", "no error");
    else
        vantrel_fault_describe(static_cast<int>(error.code), error.value, out.text);
    return out;
}

// Start and end describe a start tag met inside the blob and the end tag
// that closes its block; the blob's own start and end tags are not listed.
// The format's kinds (enum vantrel_kind), value for value.
enum class tag_kind : uint8_t {
    end = VANTREL_KIND_END,
    start = VANTREL_KIND_START,
    string = VANTREL_KIND_STRING,
    integer = VANTREL_KIND_INTEGER,
    data_block = VANTREL_KIND_DATA_BLOCK,
};

// "string", "integer", "data_block", "start" or "end", as vantrel-dump
// --json names the kinds.
inline std::string_view kind_name(tag_kind kind) noexcept
{
    return vantrel_kind_name(static_cast<int>(kind));
}

struct tag {
    tag_kind kind = tag_kind::end;
    // Blocks nested inside the blob around this tag.  A nested block's start
    // and end share the depth of the tags inside it.
    uint32_t depth = 0;
    uint32_t id = 0;                  // string, integer, data block
    uint32_t type = 0;                // data block
    uint64_t value = 0;               // integer; a nested start tag's length
    std::span<const std::byte> bytes; // string characters (no terminator), data bytes
    std::size_t offset = 0;           // the tag's first byte
    uint32_t tag_size = 0;

    std::string_view text() const noexcept
    {
        return {reinterpret_cast<const char *>(bytes.data()), bytes.size()};
    }
};

struct reader_options {
    // Like vantrel-dump's --warn-start-reserved: let a start tag inside the
    // blob have a non-zero reserved word.  The blob's own start tag must
    // always have it zero.
    bool allow_nested_reserved = false;
};

// The deepest nesting of start tags the reader accepts.
inline constexpr uint32_t max_depth = VANTREL_MAX_DEPTH;

namespace detail {

inline tag from_c(const vantrel_tag &c) noexcept
{
    tag t;
    t.offset = static_cast<std::size_t>(c.offset);
    t.tag_size = c.tag_size;
    t.depth = c.depth;
    // The walks hand out only tags of the five codes.
    int kind = vantrel_kind_of(c.code);
    t.kind = kind == VANTREL_KIND_NONE ? tag_kind::end : static_cast<tag_kind>(kind);
    t.id = c.id;
    t.type = c.type;
    t.value = c.code == VANTREL_TAG_START ? c.length : c.value;
    if (c.payload != nullptr)
        t.bytes = {reinterpret_cast<const std::byte *>(c.payload), c.size};
    return t;
}

inline blob_error error_from_c(const vantrel_walk &w) noexcept
{
    return {static_cast<error_code>(w.fault_code), w.fault_offset, w.fault_value};
}

} // namespace detail

// Walks a checked blob with vantrel_checked_next: no room for open blocks
// is needed, so iterators are small values.  Should the bytes change after
// the check, the walk ends where a tag would leave the span.
class tag_iterator {
public:
    using value_type = tag;
    using difference_type = std::ptrdiff_t;
    using iterator_concept = std::forward_iterator_tag;

    tag_iterator() = default;

    tag operator*() const noexcept { return detail::from_c(current_); }

    tag_iterator &operator++() noexcept
    {
        advance();
        return *this;
    }

    tag_iterator operator++(int) noexcept
    {
        tag_iterator before = *this;
        ++*this;
        return before;
    }

    bool operator==(const tag_iterator &other) const noexcept
    {
        return done() == other.done() && (done() || current_.offset == other.current_.offset);
    }
    bool operator==(std::default_sentinel_t) const noexcept { return done(); }

private:
    friend class reader;

    tag_iterator(const std::byte *data, std::size_t size) noexcept : data_(data), size_(size)
    {
        if (data_ == nullptr || vantrel_checked_first(data_, size_, &current_) < 0) {
            data_ = nullptr;
            return;
        }
        advance();
    }

    bool done() const noexcept { return data_ == nullptr; }

    // The blob's own end tag ends the walk.
    void advance() noexcept
    {
        if (vantrel_checked_next(data_, size_, &current_) <= 0 ||
            (current_.code == VANTREL_TAG_END && current_.depth == 0))
            data_ = nullptr;
    }

    const std::byte *data_ = nullptr;
    std::size_t size_ = 0;
    vantrel_tag current_{};
};

// A checked view of one blob: vantrel_reader.h's checks, in vantrel-dump's
// order and with its offsets.  Payload views may reach past their own tag's
// size, as vantrel-dump lists them, but never past the span, even when the
// bytes change after the check (the walk then ends early).
//
// Look-ups follow the C reader's rule: the first string, integer or data
// block tag of the blob's outer block with the id; tags inside nested
// blocks are not searched.  A typed getter whose first tag with the id is
// of another kind finds nothing.  Each look-up is one forward walk in
// constant memory.
class reader {
public:
    explicit reader(std::span<const std::byte> blob, reader_options options = {}) noexcept
        : data_(blob.data()), size_(blob.size())
    {
        uint32_t enclosing[VANTREL_MAX_DEPTH];
        vantrel_walk w;
        vantrel_tag start;
        int fault = vantrel_walk_memory(&w, enclosing, VANTREL_MAX_DEPTH, blob.data(), blob.size(),
                                        options.allow_nested_reserved ? VANTREL_ALLOW_NESTED_RESERVED : 0, &start);
        swapped_ = w.swapped != 0;
        length_ = start.length;
        if (fault != 0) {
            error_ = detail::error_from_c(w);
            data_ = nullptr; // no tags from a blob that failed
        }
    }

    bool ok() const noexcept { return error_.code == error_code::none; }
    const blob_error &error() const noexcept { return error_; }
    // True when the blob was written in the other byte order.
    bool swapped() const noexcept { return swapped_; }
    // The blob's own start tag's length word, when the start tag was found.
    uint32_t length() const noexcept { return length_; }

    tag_iterator begin() const noexcept { return tag_iterator(data_, size_); }
    std::default_sentinel_t end() const noexcept { return {}; }

    // The first string, integer or data block tag of the outer block with
    // this id.
    std::optional<tag> find(uint32_t id) const noexcept
    {
        vantrel_tag t;
        if (data_ == nullptr || vantrel_checked_find(data_, size_, id, &t) != VANTREL_OK)
            return std::nullopt;
        return detail::from_c(t);
    }

    // find(id), when that tag is of the kind asked for.
    std::optional<uint64_t> get_integer(uint32_t id) const noexcept
    {
        if (auto t = find_kind(tag_kind::integer, id))
            return t->value;
        return std::nullopt;
    }
    std::optional<std::string_view> get_string(uint32_t id) const noexcept
    {
        if (auto t = find_kind(tag_kind::string, id))
            return t->text();
        return std::nullopt;
    }
    std::optional<std::span<const std::byte>> get_data(uint32_t id) const noexcept
    {
        if (auto t = find_kind(tag_kind::data_block, id))
            return t->bytes;
        return std::nullopt;
    }

private:
    std::optional<tag> find_kind(tag_kind kind, uint32_t id) const noexcept
    {
        std::optional<tag> t = find(id);
        if (t && t->kind != kind)
            return std::nullopt;
        return t;
    }

    const std::byte *data_;
    std::size_t size_;
    bool swapped_ = false;
    uint32_t length_ = 0;
    blob_error error_;
};

} // namespace vantrel

#endif // VANTREL_HPP
