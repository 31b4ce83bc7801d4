// vantrel.hpp - C++20 layer over libvantrel, header only.
//
//   vantrel::builder  places tags in a caller's buffer through the C
//                     operations; every add says whether the tag went in.
//   vantrel::reader   checks a blob of either byte order held in memory, the
//                     way vantrel-dump checks a file, then hands out its tags
//                     as values whose payloads are views into the buffer.
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

    [[nodiscard]] status add(uint32_t id, std::string_view text) noexcept
    {
        if (phase_ != phase::open)
            return status::not_open;
        if (text.size() > UINT32_MAX)
            return status::no_room;
        return result(vantrel_add_string(&state_, text.data(), static_cast<uint32_t>(text.size()), id));
    }

    [[nodiscard]] status add(uint32_t id, uint64_t value) noexcept
    {
        if (phase_ != phase::open)
            return status::not_open;
        return result(vantrel_add_integer(&state_, value, id));
    }

    [[nodiscard]] status add(uint32_t id, uint32_t type, std::span<const std::byte> data) noexcept
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
    // bytes at all places an empty data block, as the single-span add does.
    [[nodiscard]] status add(uint32_t id, uint32_t type,
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
            count += piece.empty() ? 0 : 1;
        }
        if (count == 0)
            return add(id, type, std::span<const std::byte>{});

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

// What the reader found wrong.  The offset is the one vantrel-dump shows for
// the same file; the codes after nested_too_deep are refusals of the reader
// alone (see reader below).
enum class error_code : uint8_t {
    none,
    short_start_tag,        // fewer than 16 bytes; offset: the blob's size
    start_tag_not_found,    // offset 0
    start_reserved,         // the blob's own start tag; offset 16
    missing_end_tag,
    invalid_start_length,
    unexpected_eof,
    invalid_tag_size,
    junk_after_end_tag,
    unknown_tag,            // value: the tag code
    nested_reserved,        // value: the reserved word
    nested_too_deep,
    string_too_long,        // the characters and terminator run past tag_size
    integer_too_short,      // tag_size leaves no room for value, id, reserved
    data_block_too_long,    // the data runs past tag_size
};

struct blob_error {
    error_code code = error_code::none;
    uint64_t offset = 0;
    uint32_t value = 0;
};

// The reason without its number, as vantrel-dump words it.
constexpr std::string_view reason_text(error_code code) noexcept
{
    switch (code) {
    case error_code::none: return "no error";
    case error_code::short_start_tag: return "unexpected end-of-file";
    case error_code::start_tag_not_found: return "start tag not found";
    case error_code::start_reserved: return "reserved field in start tag is not zero";
    case error_code::missing_end_tag: return "missing end tag";
    case error_code::invalid_start_length: return "invalid vantrel start length";
    case error_code::unexpected_eof: return "unexpected end-of-file";
    case error_code::invalid_tag_size: return "invalid tag size";
    case error_code::junk_after_end_tag: return "junk found after end tag";
    case error_code::unknown_tag: return "unknown tag";
    case error_code::nested_reserved: return "reserved field in start tag is not zero";
    case error_code::nested_too_deep: return "start tags nested too deeply";
    case error_code::string_too_long: return "string runs past its tag size";
    case error_code::integer_too_short: return "integer tag size too small";
    case error_code::data_block_too_long: return "data block runs past its tag size";
    }
    return "unknown error";
}

struct reason_buffer {
    char text[96];
};

// The full reason, numbers included: "unknown tag: 0x7A600009".
inline reason_buffer describe(const blob_error &error) noexcept
{
    reason_buffer out{};
    std::string_view base = reason_text(error.code);
    if (error.code == error_code::unknown_tag)
        std::snprintf(out.text, sizeof out.text, "unknown tag: 0x%" PRIX32, error.value);
    else if (error.code == error_code::nested_reserved)
        std::snprintf(out.text, sizeof out.text, "%.*s (value: 0x%" PRIx32 ")",
                      static_cast<int>(base.size()), base.data(), error.value);
    else
        std::snprintf(out.text, sizeof out.text, "%.*s", static_cast<int>(base.size()), base.data());
    return out;
}

// Start and end describe a start tag met inside the blob and the end tag
// that closes its block; the blob's own start and end tags are not listed.
enum class tag_kind : uint8_t { string, integer, data_block, start, end };

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
inline constexpr uint32_t max_depth = 1024;

namespace detail {

// Plain shifts rather than a compiler builtin, so that any C++20 compiler
// (MSVC too) takes the header; g++ and clang++ turn them into one bswap.
inline uint32_t swap32(uint32_t v) noexcept
{
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

inline uint64_t swap64(uint64_t v) noexcept
{
    return uint64_t{swap32(static_cast<uint32_t>(v))} << 32 | swap32(static_cast<uint32_t>(v >> 32));
}

inline uint32_t load32(const std::byte *at, bool swapped) noexcept
{
    uint32_t v;
    std::memcpy(&v, at, sizeof v);
    return swapped ? swap32(v) : v;
}

// A 64-bit value of the other order is reversed as one 8-byte unit.
inline uint64_t load64(const std::byte *at, bool swapped) noexcept
{
    uint64_t v;
    std::memcpy(&v, at, sizeof v);
    return swapped ? swap64(v) : v;
}

inline uint64_t max64(uint64_t a, uint64_t b) noexcept { return a > b ? a : b; }

} // namespace detail

// Walks a checked blob.  It trusts what the reader checked: every header it
// steps on was read in bounds, and every block is walked to exactly its
// length, so a nested block's end tag ends where the enclosing block goes
// on and no stack is needed.
class tag_iterator {
public:
    using value_type = tag;
    using difference_type = std::ptrdiff_t;
    using iterator_concept = std::forward_iterator_tag;

    tag_iterator() = default;

    tag operator*() const noexcept
    {
        tag t;
        t.offset = pos_;
        t.tag_size = word(pos_ + VANTREL_HDR_TAG_SIZE);
        t.depth = level_;
        switch (word(pos_ + VANTREL_HDR_TAG)) {
        case VANTREL_TAG_STRING:
            t.kind = tag_kind::string;
            t.id = word(pos_ + VANTREL_STRING_ID);
            t.bytes = {data_ + pos_ + VANTREL_STRING_DATA, word(pos_ + VANTREL_STRING_SIZE)};
            break;
        case VANTREL_TAG_INTEGER:
            t.kind = tag_kind::integer;
            t.value = detail::load64(data_ + pos_ + VANTREL_INTEGER_VALUE, swapped_);
            t.id = word(pos_ + VANTREL_INTEGER_ID);
            break;
        case VANTREL_TAG_DATA_BLOCK:
            t.kind = tag_kind::data_block;
            t.type = word(pos_ + VANTREL_DATA_TYPE);
            t.id = word(pos_ + VANTREL_DATA_ID);
            t.bytes = {data_ + pos_ + VANTREL_DATA_DATA, word(pos_ + VANTREL_DATA_SIZE)};
            break;
        case VANTREL_TAG_START:
            t.kind = tag_kind::start;
            t.depth = level_ + 1;
            t.value = word(pos_ + VANTREL_START_LENGTH);
            break;
        default:
            t.kind = tag_kind::end;
            break;
        }
        return t;
    }

    tag_iterator &operator++() noexcept
    {
        uint32_t code = word(pos_ + VANTREL_HDR_TAG);
        if (code == VANTREL_TAG_START) {
            // A nested block's tags follow its start tag's four words, fill
            // or not, as vantrel-dump reads them.
            ++level_;
            pos_ += VANTREL_START_MIN;
        } else {
            level_ -= code == VANTREL_TAG_END ? 1 : 0;
            pos_ += word(pos_ + VANTREL_HDR_TAG_SIZE);
        }
        if (level_ == 0 && word(pos_ + VANTREL_HDR_TAG) == VANTREL_TAG_END)
            pos_ = done;
        return *this;
    }

    tag_iterator operator++(int) noexcept
    {
        tag_iterator before = *this;
        ++*this;
        return before;
    }

    bool operator==(const tag_iterator &other) const noexcept { return pos_ == other.pos_; }
    bool operator==(std::default_sentinel_t) const noexcept { return pos_ == done; }

private:
    friend class reader;
    static constexpr std::size_t done = SIZE_MAX;

    tag_iterator(const std::byte *data, bool swapped, std::size_t first) noexcept
        : data_(data), swapped_(swapped), pos_(first)
    {
        if (data_ == nullptr || word(pos_ + VANTREL_HDR_TAG) == VANTREL_TAG_END)
            pos_ = done;
    }

    uint32_t word(std::size_t at) const noexcept { return detail::load32(data_ + at, swapped_); }

    const std::byte *data_ = nullptr;
    bool swapped_ = false;
    std::size_t pos_ = done;
    uint32_t level_ = 0;
};

// A checked view of one blob.  The checks are vantrel-dump's, in its order
// and with its offsets: a start tag whose tag_size is above 16 and not above
// its length has its tags begin at tag_size (blobs of alignment 32 and
// more); a nested block must have a length of at least 16 that fits in what
// its enclosing block has left, which is charged that length; nesting is
// refused beyond max_depth.  Three more refusals keep every value handed out
// inside its own tag, where vantrel-dump would list bytes of the tags that
// follow:
//   - a string whose characters and terminator pass its tag_size;
//   - an integer tag shorter than its value, id and reserved words;
//   - a data block whose bytes pass its tag_size.
class reader {
public:
    explicit reader(std::span<const std::byte> blob, reader_options options = {}) noexcept
        : data_(blob.data()), size_(blob.size())
    {
        error_ = check(options);
        if (error_.code != error_code::none)
            data_ = nullptr; // no tags from a blob that failed
    }

    bool ok() const noexcept { return error_.code == error_code::none; }
    const blob_error &error() const noexcept { return error_; }
    // True when the blob was written in the other byte order.
    bool swapped() const noexcept { return swapped_; }
    // The blob's own start tag's length word, when the start tag was found.
    uint32_t length() const noexcept { return length_; }

    tag_iterator begin() const noexcept { return tag_iterator(data_, swapped_, first_); }
    std::default_sentinel_t end() const noexcept { return {}; }

    // The first string, integer or data block tag with this id, at any depth.
    std::optional<tag> find(uint32_t id) const noexcept
    {
        for (tag t : *this)
            if (t.kind != tag_kind::start && t.kind != tag_kind::end && t.id == id)
                return t;
        return std::nullopt;
    }

    // The first tag of the kind asked for with this id; tags of other kinds
    // that share the id are passed over.
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
        for (tag t : *this)
            if (t.kind == kind && t.id == id)
                return t;
        return std::nullopt;
    }

    uint32_t word(uint64_t at) const noexcept
    {
        return detail::load32(data_ + static_cast<std::size_t>(at), swapped_);
    }

    // A read of n bytes at `at` that the blob cannot satisfy fails where
    // vantrel-dump's stream would stand after it: at the end of the file,
    // or where it was sought to when that lies beyond.
    bool short_read(uint64_t at, uint64_t n, blob_error &error) const noexcept
    {
        if (at + n <= size_)
            return false;
        error = {error_code::unexpected_eof, detail::max64(at, size_), 0};
        return true;
    }

    blob_error check(reader_options options) noexcept
    {
        if (size_ < VANTREL_START_MIN)
            return {error_code::short_start_tag, size_, 0};
        uint32_t first_word;
        std::memcpy(&first_word, data_, sizeof first_word);
        if (first_word != VANTREL_TAG_START && first_word != VANTREL_TAG_START_SWAPPED)
            return {error_code::start_tag_not_found, 0, 0};
        swapped_ = first_word == VANTREL_TAG_START_SWAPPED;
        length_ = word(VANTREL_START_LENGTH);
        uint32_t reserved = word(VANTREL_START_RESERVED);
        if (reserved != 0)
            return {error_code::start_reserved, VANTREL_START_MIN, 0};

        uint32_t start_size = word(VANTREL_HDR_TAG_SIZE);
        uint64_t pos = VANTREL_START_MIN;
        uint32_t remaining = length_ - VANTREL_START_MIN; // wraps for a length below 16, as in the dump
        if (start_size > VANTREL_START_MIN && start_size <= length_) {
            pos = start_size;
            remaining = length_ - start_size;
        }
        first_ = static_cast<std::size_t>(pos);

        // What each enclosing block has left once the nested block in it is
        // walked: a loop with this explicit stack, not recursion, so hostile
        // nesting costs no stack.
        uint32_t enclosing_remaining[max_depth];
        uint32_t depth = 0;
        blob_error error;

        for (;;) {
            if (remaining == 0)
                return {error_code::missing_end_tag, pos, 0};
            if (remaining < VANTREL_HDR_SIZE)
                return {error_code::invalid_start_length, pos, 0};
            if (short_read(pos, VANTREL_HDR_SIZE, error))
                return error;
            uint32_t size = word(pos + VANTREL_HDR_TAG_SIZE);
            if (size > remaining || size < VANTREL_HDR_SIZE)
                return {error_code::invalid_tag_size, pos + VANTREL_HDR_SIZE, 0};
            const uint32_t room = remaining;
            remaining -= size;
            uint32_t code = word(pos + VANTREL_HDR_TAG);
            const uint64_t fields = pos + VANTREL_HDR_SIZE;

            switch (code) {
            case VANTREL_TAG_END: {
                if (remaining != 0)
                    return {error_code::junk_after_end_tag, fields, 0};
                if (depth == 0)
                    return {};
                remaining = enclosing_remaining[--depth];
                break;
            }
            case VANTREL_TAG_START: {
                if (short_read(fields, VANTREL_START_MIN - VANTREL_HDR_SIZE, error))
                    return error;
                uint32_t length = word(pos + VANTREL_START_LENGTH);
                uint32_t nested_reserved = word(pos + VANTREL_START_RESERVED);
                if (nested_reserved != 0 && !options.allow_nested_reserved)
                    return {error_code::nested_reserved, pos + VANTREL_START_MIN, nested_reserved};
                // Charging the block its length keeps every block walked to
                // exactly its length, so the walk never comes back over tags.
                if (length < VANTREL_START_MIN || length > room)
                    return {error_code::invalid_start_length, pos + VANTREL_START_MIN, 0};
                if (depth == max_depth)
                    return {error_code::nested_too_deep, pos + VANTREL_START_MIN, 0};
                enclosing_remaining[depth++] = room - length;
                remaining = length - VANTREL_START_MIN;
                pos += VANTREL_START_MIN;
                continue;
            }
            case VANTREL_TAG_STRING: {
                if (short_read(fields, VANTREL_STRING_DATA - VANTREL_HDR_SIZE, error))
                    return error;
                uint32_t count = word(pos + VANTREL_STRING_SIZE);
                if (short_read(pos + VANTREL_STRING_DATA, count, error))
                    return error;
                if (uint64_t{count} + VANTREL_STRING_MIN > size)
                    return {error_code::string_too_long, fields, 0};
                break;
            }
            case VANTREL_TAG_INTEGER:
                if (short_read(fields, VANTREL_INTEGER_MIN - VANTREL_HDR_SIZE, error))
                    return error;
                if (size < VANTREL_INTEGER_MIN)
                    return {error_code::integer_too_short, fields, 0};
                break;
            case VANTREL_TAG_DATA_BLOCK: {
                if (short_read(fields, VANTREL_DATA_DATA - VANTREL_HDR_SIZE, error))
                    return error;
                uint32_t count = word(pos + VANTREL_DATA_SIZE);
                if (short_read(pos + VANTREL_DATA_DATA, count, error))
                    return error;
                if (uint64_t{count} + VANTREL_DATA_MIN > size)
                    return {error_code::data_block_too_long, fields, 0};
                break;
            }
            default:
                return {error_code::unknown_tag, fields, code};
            }
            pos += size;
        }
    }

    const std::byte *data_;
    std::size_t size_;
    bool swapped_ = false;
    uint32_t length_ = 0;
    std::size_t first_ = 0;
    blob_error error_;
};

} // namespace vantrel

#endif // VANTREL_HPP
