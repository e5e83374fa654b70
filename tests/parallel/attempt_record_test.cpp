// The attempt records the ranks exchange: every field survives the trip, and
// a damaged record is refused rather than misread.
#include <gtest/gtest.h>

#include <stdexcept>

#include "parallel/attempt_distribution.hpp"

namespace {

using namespace zelt;

solution two_copies() {
    solution s;
    s.cell = 2;
    s.k = 0.73f;
    s.b = 187.5f;
    for (int i = 0; i < 2; ++i) {
        copy_placement p;
        p.orientation = {0.1 * i, -0.5, 0.5, 0.7071067811865476};
        p.translation = {0.125, 0.333333333333, 0.9 + i * 0.01};
        p.model = 4 + i;
        p.reported_model = i;
        s.placements.push_back(p);
    }
    return s;
}

void expect_same(const solution& a, const solution& b) {
    ASSERT_EQ(a.placements.size(), b.placements.size());
    for (std::size_t i = 0; i < a.placements.size(); ++i) {
        EXPECT_EQ(a.placements[i].orientation, b.placements[i].orientation);
        EXPECT_EQ(a.placements[i].translation, b.placements[i].translation);
        EXPECT_EQ(a.placements[i].model, b.placements[i].model);
        EXPECT_EQ(a.placements[i].reported_model, b.placements[i].reported_model);
    }
    EXPECT_EQ(a.cell, b.cell);
    EXPECT_EQ(a.k, b.k);
    EXPECT_EQ(a.b, b.b);
}

TEST(AttemptRecord, RoundTripAndDamage) {
    attempt_record r;
    r.attempt = 7;
    r.result = {two_copies(), 0.4321, 0.5678, 0.4321, 0.5678};
    r.unsplit = two_copies();
    r.unsplit->placements.pop_back();
    r.text = std::string("Attempt 7\n\0x", 12);  // any bytes, a zero included
    const std::string bytes = encode_record(r);
    const attempt_record back = decode_record(bytes);
    EXPECT_EQ(back.attempt, 7);
    expect_same(back.result.best, r.result.best);
    EXPECT_EQ(back.result.first_score, 0.4321);
    EXPECT_EQ(back.result.second_score, 0.5678);
    EXPECT_EQ(back.result.cc, 0.4321);
    EXPECT_EQ(back.result.r, 0.5678);
    ASSERT_TRUE(back.unsplit.has_value());
    expect_same(*back.unsplit, *r.unsplit);
    EXPECT_EQ(back.text, r.text);

    attempt_record plain;
    plain.attempt = 1;
    EXPECT_FALSE(decode_record(encode_record(plain)).unsplit.has_value());

    for (std::size_t cut : {std::size_t{0}, std::size_t{3}, bytes.size() / 2, bytes.size() - 1})
        EXPECT_THROW(decode_record(bytes.substr(0, cut)), std::runtime_error) << cut;
    EXPECT_THROW(decode_record(bytes + "x"), std::runtime_error);
}

TEST(AttemptRecord, OwnersTakeTurns) {
    // Attempt a goes to rank (a - 1) mod size: every rank's share differs by at most one.
    for (int ranks = 1; ranks <= 5; ++ranks) {
        std::vector<int> share(ranks, 0);
        for (int a = 1; a <= 13; ++a) ++share.at(attempt_owner(a, ranks));
        for (int n : share) EXPECT_LE(share.front() - n, 1);
        EXPECT_EQ(attempt_owner(1, ranks), 0);
    }
}

}  // namespace
