#include "protocol/Data.h"

#include <cstring>
#include <functional>
#include <stdexcept>

namespace {

const uint32_t invalidParameter = 87; // ERROR_INVALID_PARAMETER

} // namespace

Data::Data(uint32_t size, uint8_t fill)
    : readPosition_(nullptr), base_(nullptr), end_(nullptr), error_(0), count_(0) {
    // Never an empty allocation: data() is then a valid pointer even for an
    // empty buffer, which memcpy and friends require.
    storage_.reserve(size > 0 ? size : 1);
    storage_.assign(size, fill);
    rebase(0);
}

Data::Data(const uint8_t* bytes, uint32_t length, int)
    : readPosition_(nullptr), base_(nullptr), end_(nullptr), error_(0), count_(0) {
    assign(bytes, bytes != nullptr ? length : 0);
}

Data::Data(const std::string& text)
    : readPosition_(nullptr), base_(nullptr), end_(nullptr), error_(0), count_(0) {
    if (text.size() > UINT32_MAX) {
        throw std::length_error("Data: text longer than a buffer can hold");
    }
    assign(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

Data::Data(const Data& other)
    : readPosition_(nullptr), base_(nullptr), end_(nullptr), error_(other.error_),
      count_(other.count_) {
    assign(other.readPosition_, other.size());
}

Data& Data::operator=(const Data& other) {
    if (this != &other) {
        assign(other.readPosition_, other.size());
        error_ = other.error_;
        count_ = other.count_;
    } else {
        // A buffer assigned to itself also reads from its first byte.
        consume(0, true);
    }
    return *this;
}

Data::~Data() = default;

uint32_t Data::size() const {
    return static_cast<uint32_t>(end_ - readPosition_);
}

uint8_t* Data::data() {
    return readPosition_;
}

void Data::consume(uint32_t n, bool compact) {
    if (n <= size()) {
        readPosition_ += n;
    }
    if (compact) {
        storage_.erase(storage_.begin(),
                       storage_.begin() + static_cast<std::ptrdiff_t>(readOffset()));
        rebase(0);
    }
}

void Data::setError(uint32_t error) {
    error_ = error;
}

void Data::setCount(uint32_t count) {
    count_ = count;
}

uint32_t Data::count() const {
    return count_;
}

uint32_t Data::error() const {
    return error_;
}

void Data::append(const uint8_t* bytes, uint32_t length) {
    if (length == 0) {
        return;
    }
    if (bytes == nullptr || length > UINT32_MAX - size()) {
        error_ = invalidParameter;
        return;
    }
    std::less_equal<const uint8_t*> notAfter;
    std::less<const uint8_t*> before;
    size_t offset = readOffset();
    if (notAfter(base_, bytes) && before(bytes, end_)) {
        // The bytes are our own: they must lie within the buffer, and
        // growing the storage would move them away under the copy, so copy
        // them out first.
        if (length > static_cast<size_t>(end_ - bytes)) {
            error_ = invalidParameter;
            return;
        }
        std::vector<uint8_t> copy(bytes, bytes + length);
        storage_.insert(storage_.end(), copy.begin(), copy.end());
    } else {
        storage_.insert(storage_.end(), bytes, bytes + length);
    }
    rebase(offset);
}

void Data::append(const Data& other) {
    uint32_t length = other.size();
    if (length != 0) {
        append(other.readPosition_, length);
    }
}

void Data::clear() {
    storage_.clear();
    rebase(0);
    error_ = 0;
    count_ = 0;
}

bool Data::overwriteTail(const uint8_t* bytes, uint32_t length) {
    if (size() < length || (bytes == nullptr && length != 0)) {
        return false;
    }
    consume(size() - length, false);
    if (length != 0) {
        // memmove: the bytes may be part of this buffer.
        std::memmove(readPosition_, bytes, length);
    }
    return true;
}

bool Data::operator==(const Data& other) const {
    if (this == &other) {
        return true;
    }
    uint32_t length = size();
    return length == other.size() && std::memcmp(readPosition_, other.readPosition_, length) == 0;
}

void Data::assign(const uint8_t* bytes, size_t length) {
    if (storage_.capacity() == 0) {
        storage_.reserve(length > 0 ? length : 1);
    }
    storage_.assign(bytes, bytes + length);
    rebase(0);
}

void Data::rebase(size_t readOffset) {
    base_ = storage_.data();
    end_ = base_ + storage_.size();
    readPosition_ = base_ + readOffset;
}
