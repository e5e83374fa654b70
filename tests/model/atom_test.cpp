// Atoms as read and atoms placed in a cell as distinct types.
#include <gtest/gtest.h>

#include <type_traits>
#include <utility>

#include "model/atom.hpp"

namespace {

using zelt::atom;
using zelt::fractional;
using zelt::place_atom;
using zelt::placed_atom;
using zelt::position;
using zelt::vec3;

using read_site = decltype(std::declval<atom&>().site);
using placed_site = decltype(std::declval<placed_atom&>().site);

// An atom as read stands at a Cartesian position, a placed one at a
// fractional site; neither atom turns into the other, a site takes no
// coordinates of the other kind nor an unnamed vec3, and only an atom as read
// can be placed, at a fractional site.
static_assert(std::is_same_v<read_site, position> && std::is_same_v<placed_site, fractional>);
static_assert(!std::is_convertible_v<atom, placed_atom> && !std::is_constructible_v<placed_atom, atom>);
static_assert(!std::is_convertible_v<placed_atom, atom> && !std::is_constructible_v<atom, placed_atom>);
static_assert(!std::is_assignable_v<placed_site&, position> && !std::is_assignable_v<read_site&, fractional>);
static_assert(!std::is_assignable_v<placed_site&, vec3> && !std::is_assignable_v<read_site&, vec3>);
static_assert(!std::is_convertible_v<placed_site, position> && !std::is_convertible_v<placed_site, vec3>);
static_assert(!std::is_invocable_v<decltype(&place_atom), const atom&, position>);
static_assert(!std::is_invocable_v<decltype(&place_atom), const placed_atom&, fractional>);
static_assert(std::is_invocable_r_v<placed_atom, decltype(&place_atom), const atom&, fractional>);

TEST(PlaceAtom, TakesTheSiteAndKeepsEverythingElse) {
    atom a;
    a.site = {12.5, -3.25, 40.0};
    a.line = "HETATM 1234 ZN    ZN B 301      12.500  -3.250  40.000  0.75 33.10          ZN  ";
    a.occupancy = 0.75;
    a.b = 33.1;
    a.element = 30;
    a.member = 2;
    a.anisou = "ANISOU 1234 ZN    ZN B 301     4000   3000   2000   -100    200   -300      ZN  ";

    const placed_atom p = place_atom(a, fractional{0.25, 1.5, -0.125});
    EXPECT_EQ(p.site, (fractional{0.25, 1.5, -0.125}));
    EXPECT_EQ(p.line, a.line);
    EXPECT_EQ(p.occupancy, a.occupancy);
    EXPECT_EQ(p.b, a.b);
    EXPECT_EQ(p.element, a.element);
    EXPECT_EQ(p.member, a.member);
    EXPECT_EQ(p.anisou, a.anisou);
    EXPECT_EQ(a.site, (position{12.5, -3.25, 40.0}));   // the atom as read stays where it was
}

}  // namespace
