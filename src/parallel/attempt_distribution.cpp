#include "parallel/attempt_distribution.hpp"

#include <cstdint>
#include <cstring>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <type_traits>
#include <vector>

#include "parallel/process_group.hpp"

namespace zelt {

namespace {

// Plain values in the byte order of the machine: every rank of a run runs the
// same binary.
class record_writer {
public:
    template <class T>
    void put(const T& v) {
        static_assert(std::is_trivially_copyable_v<T>);
        bytes_.append(reinterpret_cast<const char*>(&v), sizeof v);
    }
    void put_solution(const solution& s) {
        put(static_cast<std::uint64_t>(s.placements.size()));
        for (const copy_placement& p : s.placements) put(p);
        put(s.cell);
        put(s.k);
        put(s.b);
    }
    void put_text(const std::string& t) {
        put(static_cast<std::uint64_t>(t.size()));
        bytes_ += t;
    }
    std::string take() { return std::move(bytes_); }

private:
    std::string bytes_;
};

class record_reader {
public:
    explicit record_reader(const std::string& bytes) : bytes_(bytes) {}
    template <class T>
    T get() {
        T v;
        std::memcpy(&v, need(sizeof v), sizeof v);
        return v;
    }
    solution get_solution() {
        solution s;
        s.placements.resize(count(sizeof(copy_placement)));
        for (copy_placement& p : s.placements) p = get<copy_placement>();
        s.cell = get<int>();
        s.k = get<float>();
        s.b = get<float>();
        return s;
    }
    std::string get_text() {
        const std::size_t n = count(1);
        return std::string(need(n), n);
    }
    bool done() const { return at_ == bytes_.size(); }

private:
    // A count of items of `size` bytes that the rest of the record can hold.
    std::size_t count(std::size_t size) {
        const auto n = get<std::uint64_t>();
        if (n > (bytes_.size() - at_) / size) throw std::runtime_error("malformed attempt record");
        return static_cast<std::size_t>(n);
    }
    const char* need(std::size_t n) {
        if (bytes_.size() - at_ < n) throw std::runtime_error("malformed attempt record");
        const char* p = bytes_.data() + at_;
        at_ += n;
        return p;
    }
    const std::string& bytes_;
    std::size_t at_ = 0;
};

// Runs attempt a with standard output caught in the record's text.
attempt_record run_caught(const attempt_steps& steps, int attempt) {
    std::ostringstream text;
    std::streambuf* const console = std::cout.rdbuf(text.rdbuf());
    struct restore {
        std::streambuf* buffer;
        ~restore() { std::cout.rdbuf(buffer); }
    } restore_console{console};
    attempt_record r = steps.run(attempt);
    std::cout.flush();
    r.text = text.str();
    return r;
}

}  // namespace

std::string encode_record(const attempt_record& r) {
    record_writer w;
    w.put(r.attempt);
    w.put_solution(r.result.best);
    w.put(r.result.first_score);
    w.put(r.result.second_score);
    w.put(r.result.cc);
    w.put(r.result.r);
    w.put(static_cast<char>(r.unsplit.has_value()));
    if (r.unsplit) w.put_solution(*r.unsplit);
    w.put_text(r.text);
    return w.take();
}

attempt_record decode_record(const std::string& bytes) {
    record_reader in(bytes);
    attempt_record r;
    r.attempt = in.get<int>();
    r.result.best = in.get_solution();
    r.result.first_score = in.get<double>();
    r.result.second_score = in.get<double>();
    r.result.cc = in.get<double>();
    r.result.r = in.get<double>();
    if (in.get<char>()) r.unsplit = in.get_solution();
    r.text = in.get_text();
    if (!in.done()) throw std::runtime_error("malformed attempt record");
    return r;
}

void distribute_attempts(int attempts, const attempt_steps& steps) {
    const int ranks = process_count(), rank = process_rank();
    if (ranks == 1) {
        for (int a = 1; a <= attempts; ++a) {
            attempt_record r = steps.run(a);
            steps.take(r);
        }
        return;
    }
    std::vector<std::string> mine;
    for (int a = 1; a <= attempts; ++a) {
        if (attempt_owner(a, ranks) == rank)
            mine.push_back(encode_record(run_caught(steps, a)));
        else
            steps.skip(a);
    }
    steps.exchange_begins();
    for (int a = 1; a <= attempts; ++a) {
        const int owner = attempt_owner(a, ranks);
        std::string bytes = owner == rank ? std::move(mine.at((a - 1) / ranks)) : std::string();
        broadcast_text(bytes, owner);
        attempt_record r = decode_record(bytes);
        std::cout << r.text << std::flush;
        steps.take(r);
    }
}

}  // namespace zelt
