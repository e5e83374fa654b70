// Segment split: identifiers from columns 73-76, groups in order of first
// occurrence, appended models and start positions.
#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/segments.hpp"

namespace {

using namespace zelt;

// A PDB ATOM line (80 columns) with the given serial and segment identifier.
atom pdb_atom(int serial, const std::string& segment, double x) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "ATOM  %5d  CA  ALA A%4d    %8.3f%8.3f%8.3f%6.2f%6.2f      %-4s%2s  ", serial,
                  serial, x, 0.0, 0.0, 1.0, 20.0, segment.c_str(), "C");
    atom a;
    a.site = {x, 0.0, 0.0};
    a.line = buf;
    return a;
}

atom short_atom(int serial) {
    atom a = pdb_atom(serial, "", 0.0);
    a.line.resize(66);
    return a;
}

TEST(Segments, IdentifierColumns) {
    struct row { std::string line; std::string id; };
    const row rows[] = {
        {std::string(80, ' ').replace(72, 4, "SEGA"), "SEGA"},
        {std::string(74, ' ').replace(72, 2, "AB"), "AB"},
        {std::string(72, 'x'), " "},
        {std::string(73, ' ').replace(72, 1, "Q"), "Q"},
        {"", " "},
        {std::string(80, ' '), "    "},
    };
    for (const row& r : rows) {
        atom a;
        a.line = r.line;
        EXPECT_EQ(segment_identifier(a), r.id) << "line of " << r.line.size();
    }
    EXPECT_EQ(segment_identifier(pdb_atom(1, "B1", 0)), "B1  ");
}

solution copies_of(int model, int count) {
    solution s;
    for (int i = 0; i < count; ++i) {
        copy_placement c;
        c.orientation = {0.1 * i, 0, 0, 1};
        c.translation = {0.1 * i, 0.2, 0.3};
        c.model = c.reported_model = model;
        s.placements.push_back(c);
    }
    s.k = 0.75f;
    s.b = 250.0f;
    return s;
}

TEST(Segments, OneSegmentModelsAreLeftAlone) {
    model_list models{{short_atom(1), short_atom(2)}, {pdb_atom(1, "A", 0), pdb_atom(2, "A", 1)}};
    std::vector<fractional> starts{{0.1, 0.1, 0.1}, {0.2, 0.2, 0.2}};
    solution s = copies_of(0, 1);
    s.placements.push_back(copies_of(1, 1).placements[0]);
    const solution before = s;
    EXPECT_FALSE(split_segments(s, models, starts));
    EXPECT_EQ(models.size(), 2u);
    EXPECT_EQ(starts.size(), 2u);
    ASSERT_EQ(s.placements.size(), 2u);
    EXPECT_EQ(s.placements[1].model, 1);
}

TEST(Segments, GroupsFollowFirstOccurrenceAndKeepFileOrder) {
    model_list models{{pdb_atom(1, "A", 1), pdb_atom(2, "B", 2), pdb_atom(3, "A", 3), pdb_atom(4, "B", 4),
                       pdb_atom(5, "A", 5)}};
    std::vector<fractional> starts{{0.4, 0.5, 0.6}};
    solution s = copies_of(0, 1);
    s.placements[0].translation = {0.7, 0.8, 0.9};
    EXPECT_TRUE(split_segments(s, models, starts));
    ASSERT_EQ(models.size(), 3u);
    ASSERT_EQ(models[1].size(), 3u);
    EXPECT_EQ(models[1][0].site[0], 1);
    EXPECT_EQ(models[1][1].site[0], 3);
    EXPECT_EQ(models[1][2].site[0], 5);
    ASSERT_EQ(models[2].size(), 2u);
    EXPECT_EQ(models[2][0].site[0], 2);
    EXPECT_EQ(models[2][1].site[0], 4);
    EXPECT_EQ(models[1][1].line, models[0][2].line);
    ASSERT_EQ(starts.size(), 3u);
    EXPECT_EQ(starts[1], (fractional{0.4, 0.5, 0.6}));
    EXPECT_EQ(starts[2], (fractional{0.4, 0.5, 0.6}));
    ASSERT_EQ(s.placements.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(s.placements[i].model, i + 1);
        EXPECT_EQ(s.placements[i].reported_model, 0);
        EXPECT_EQ(s.placements[i].translation, (fractional{0.7, 0.8, 0.9}));
    }
    EXPECT_EQ(s.k, 0.75f);
    EXPECT_EQ(s.b, 250.0f);
}

TEST(Segments, TwoCopiesOfAThreeSegmentModel) {
    model_list models{{short_atom(9)},
                      {pdb_atom(1, "S1", 0), pdb_atom(2, "S2", 0), pdb_atom(3, "S3", 0), pdb_atom(4, "S2", 0)}};
    std::vector<fractional> starts{{0, 0, 0}, {0.5, 0.5, 0.5}};
    solution s = copies_of(1, 2);
    s.placements[1].reported_model = 1;
    EXPECT_TRUE(split_segments(s, models, starts));
    ASSERT_EQ(s.placements.size(), 6u);
    ASSERT_EQ(models.size(), 8u);
    ASSERT_EQ(starts.size(), 8u);
    const std::size_t sizes[] = {1, 2, 1, 1, 2, 1};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(s.placements[i].model, 2 + i);
        EXPECT_EQ(s.placements[i].reported_model, 1);
        EXPECT_EQ(s.placements[i].orientation, copies_of(1, 2).placements[i / 3].orientation);
        EXPECT_EQ(models[2 + i].size(), sizes[i]);
        EXPECT_EQ(starts[2 + i], (fractional{0.5, 0.5, 0.5}));
    }
}

TEST(Segments, ModelIndexOutsideTheListsFails) {
    model_list models{{pdb_atom(1, "A", 0)}};
    std::vector<fractional> starts{{0, 0, 0}};
    solution s = copies_of(1, 1);
    EXPECT_THROW(split_segments(s, models, starts), std::out_of_range);
    std::vector<fractional> none;
    solution t = copies_of(0, 1);
    EXPECT_THROW(split_segments(t, models, none), std::out_of_range);
}

}  // namespace
