#include "run/log_file.hpp"

#include <iostream>

#include "common/errors.hpp"

namespace zelt {

namespace {

// Writes every character to two buffers; flushing flushes both.
class tee_buffer : public std::streambuf {
public:
    tee_buffer(std::streambuf* first, std::streambuf* second) : first_(first), second_(second) {}
    void set_second(std::streambuf* second) { second_ = second; }

protected:
    int overflow(int c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        const char ch = traits_type::to_char_type(c);
        const bool ok = first_->sputc(ch) != traits_type::eof();
        second_->sputc(ch);
        return ok ? c : traits_type::eof();
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        const std::streamsize written = first_->sputn(s, n);
        second_->sputn(s, n);
        return written;
    }
    int sync() override {
        const int a = first_->pubsync();
        second_->pubsync();
        return a;
    }

private:
    std::streambuf* first_;
    std::streambuf* second_;
};

}  // namespace

std::string log_file_name(const parameter_store& p) {
    const std::string& prefix = p.text("output.prefix");
    if (!p.boolean("output.log") || prefix == "-" || p.text("output.level") == "none") return {};
    return prefix + ".log";
}

void log_file_copy::start(const std::string& name) {
    name_ = name;
    std::cout.flush();
    console_ = std::cout.rdbuf();
    tee_ = std::make_unique<tee_buffer>(console_, &kept_);
    std::cout.rdbuf(tee_.get());
}

void log_file_copy::open() {
    if (!console_) return;
    std::cout.flush();
    file_.open(name_, std::ios::binary | std::ios::trunc);
    if (!file_.is_open()) {
        std::cout.rdbuf(console_);
        console_ = nullptr;
        throw io_error("unable to write the file " + name_);
    }
    file_ << kept_.str();
    kept_.str("");
    static_cast<tee_buffer*>(tee_.get())->set_second(file_.rdbuf());
}

log_file_copy::~log_file_copy() {
    if (!console_) return;
    std::cout.flush();
    std::cout.rdbuf(console_);
}

}  // namespace zelt
