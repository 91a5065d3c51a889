// Streams for code that reads and writes std::FILE: one over a copy of a text, and one that
// collects what is written into it. POSIX only (fmemopen, open_memstream).
#pragma once

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

namespace troz::test {

struct StreamCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using Stream = std::unique_ptr<std::FILE, StreamCloser>;

class Capture {
public:
    Capture() : file_(open_memstream(&buffer_, &size_)) {}
    ~Capture() {
        file_.reset();
        std::free(buffer_);
    }
    std::FILE* File() { return file_.get(); }
    std::string Text() {
        std::fflush(file_.get());
        return std::string(buffer_, size_);
    }

private:
    char* buffer_ = nullptr;
    std::size_t size_ = 0;
    Stream file_;
};

class Input {
public:
    explicit Input(std::string text) : text_(std::move(text)) {
        // fmemopen refuses a zero-length buffer on some C libraries: keep one byte, read none.
        file_.reset(fmemopen(text_.data(), text_.empty() ? 1 : text_.size(), "r"));
        if (text_.empty()) {
            std::fgetc(file_.get());
        }
    }
    std::FILE* File() { return file_.get(); }
    long Position() { return std::ftell(file_.get()); }

private:
    std::string text_;
    Stream file_;
};

}  // namespace troz::test
