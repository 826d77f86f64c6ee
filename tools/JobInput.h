// The bytes of a print job, read from files or standard input.
#pragma once

#include "HostFailure.h"

#include "platform/win32.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

// The files of a job, read in pieces so that a job of any size takes the same
// memory. Every file is checked and opened before the printer is touched, and
// the first piece is read then too, so standard input that cannot be read
// stops the job before anything is sent.
class JobInput {
public:
    explicit JobInput(const std::vector<std::string>& names) {
        for (const std::string& name : names) {
            inputs_.push_back(open(name));
            if (total_ != unknownSize) {
                total_ =
                    inputs_.back().size == unknownSize ? unknownSize : total_ + inputs_.back().size;
            }
        }
        buffer_.resize(bufferSize);
        fill();
    }
    ~JobInput() {
        for (Input& input : inputs_) {
            if (input.file != nullptr && input.file != stdin) {
                std::fclose(input.file);
            }
        }
    }
    JobInput(const JobInput&) = delete;
    JobInput& operator=(const JobInput&) = delete;

    // The job's size; unknownSize when it reads standard input.
    static const uint64_t unknownSize = UINT64_MAX;
    uint64_t total() const { return total_; }

    // The next piece of at most size bytes; empty at the end of the job.
    // Throws a Failure when a file cannot be read, with the bytes sent so far.
    std::pair<const uint8_t*, size_t> next(size_t size, uint64_t sent) {
        if (position_ == filled_) {
            fill(sent);
        }
        size = std::min(size, filled_ - position_);
        const uint8_t* bytes = buffer_.data() + position_;
        position_ += size;
        return {bytes, size};
    }

private:
    struct Input {
        std::string name;
        std::FILE* file;
        uint64_t size;
    };
    static const size_t bufferSize = 1 << 20;

    static Input open(const std::string& name) {
        if (name == "-") {
            platform::setStandardInputBinary();
            return {"standard input", stdin, unknownSize};
        }
        std::error_code error;
        const std::filesystem::file_status status = std::filesystem::status(name, error);
        if (status.type() == std::filesystem::file_type::not_found) {
            fail(ExitInput, "cannot print \"" + name + "\": there is no such file", noCode,
                 "check the file's name; nothing was printed");
        }
        if (status.type() == std::filesystem::file_type::directory) {
            fail(ExitInput, "cannot print \"" + name + "\": it is a directory", noCode,
                 "name the files inside it; nothing was printed");
        }
        std::FILE* file = std::fopen(name.c_str(), "rb");
        if (file == nullptr) {
            fail(ExitInput,
                 "cannot open \"" + name + "\": " + std::generic_category().message(errno), noCode,
                 "check the file's permissions; nothing was printed");
        }
        const uint64_t size = std::filesystem::is_regular_file(status)
                                  ? static_cast<uint64_t>(std::filesystem::file_size(name, error))
                                  : unknownSize;
        return {name, file, error ? unknownSize : size};
    }

    void fill(uint64_t sent = 0) {
        position_ = 0;
        filled_ = 0;
        while (current_ < inputs_.size()) {
            Input& input = inputs_[current_];
            errno = 0;
            filled_ = std::fread(buffer_.data(), 1, buffer_.size(), input.file);
            if (std::ferror(input.file)) {
                const int error = errno;
                fail(ExitInput,
                     "cannot read " +
                         (input.file == stdin ? input.name : "\"" + input.name + "\"") + ": " +
                         std::generic_category().message(error) + " (" + std::to_string(sent) +
                         " bytes were sent)",
                     noCode, sent == 0 ? "nothing was printed" : "the printer got part of the job");
            }
            if (filled_ > 0) {
                return;
            }
            ++current_;
        }
    }

    std::vector<Input> inputs_;
    uint64_t total_ = 0;
    std::vector<uint8_t> buffer_;
    size_t current_ = 0;
    size_t position_ = 0;
    size_t filled_ = 0;
};
