// The byte buffer that carries print data and printer answers through a
// connection's layers, and the parameters and results of visitors. The unread
// bytes run from the read position to the end; the error and count fields
// report the status and the number of bytes of the last transfer.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

class Data {
public:
    // size bytes, each set to fill; the empty buffer is Data(0, 255).
    Data(uint32_t size, uint8_t fill);
    // A copy of length bytes; a null pointer gives an empty buffer. Taken as
    // a template so that the literal 0 of Data(0, 255) is a size, not a null
    // pointer.
    template <class Bytes, std::enable_if_t<!std::is_integral<Bytes>::value &&
                                                std::is_convertible<Bytes, const uint8_t*>::value,
                                            int> = 0>
    Data(Bytes bytes, uint32_t length) : Data(static_cast<const uint8_t*>(bytes), length, 0) {}
    // The characters of the text, without a terminator.
    explicit Data(const std::string& text);
    // Copies take the unread bytes, the error and the count; the copy reads
    // from its first byte.
    Data(const Data& other);
    Data& operator=(const Data& other);

    virtual ~Data();
    // Number of unread bytes.
    virtual uint32_t size() const;
    // The first unread byte.
    virtual uint8_t* data();
    // Skips n unread bytes (nothing when n is more than size()); with compact
    // the unread bytes then move to the start of the storage.
    virtual void consume(uint32_t n, bool compact);
    virtual void setError(uint32_t error);
    virtual void setCount(uint32_t count);
    virtual uint32_t count() const;
    virtual uint32_t error() const;
    // Appends at the end. The bytes may lie inside this buffer. A null
    // pointer, or a length that would take size() beyond 32 bits, appends
    // nothing and sets the error to 87 (ERROR_INVALID_PARAMETER).
    virtual void append(const uint8_t* bytes, uint32_t length);
    // Appends the other buffer's unread bytes (this buffer itself included).
    virtual void append(const Data& other);
    // Empties the buffer and clears error and count; the storage keeps its
    // capacity.
    virtual void clear();
    // Keeps the last length unread bytes and overwrites them with the given
    // ones. False, and nothing changed, when fewer than length bytes are
    // unread or when bytes is null and length is not 0.
    virtual bool overwriteTail(const uint8_t* bytes, uint32_t length);

    // The same object, or the same unread bytes.
    bool operator==(const Data& other) const;
    bool operator!=(const Data& other) const { return !(*this == other); }

private:
    Data(const uint8_t* bytes, uint32_t length, int);
    void assign(const uint8_t* bytes, size_t length);
    // Points base, read position and end at the storage after it changed,
    // keeping the read position's distance from the base.
    void rebase(size_t readOffset);
    size_t readOffset() const { return static_cast<size_t>(readPosition_ - base_); }

    uint8_t* readPosition_;
    uint8_t* base_;
    uint8_t* end_;
    // Holds exactly the bytes from base to end; its capacity may be larger.
    std::vector<uint8_t> storage_;
    uint32_t error_;
    uint32_t count_;
};
