#include "settings/parameter_descriptions.hpp"

namespace zelt {

namespace {

using enum parameter_kind;

// One row per key of the defaults table.
constexpr parameter_description descriptions[] = {
    {"version", text, "program version shown in the banner"},
    {"output.level", text, "coordinate files written: none, best (one file at the end) or all (one per attempt) (-w)"},
    {"output.prefix", text, "prefix of the output file names; - sends coordinates to standard output (-o)"},
    {"output.reassign-chain-ids", boolean, "write each placed copy as its own chain A, B, ...; false keeps the model's chains"},
    {"report.stats", text, "statistics table: none, running (after every attempt) or final (after a copy's last)"},
    {"report.header", boolean, "version banner at the start (-v)"},
    {"report.inputs", boolean, "messages naming the input files read (-v)"},
    {"report.options", boolean, "summary of the main settings (-v)"},
    {"report.steps", boolean, "step messages: counts, loop headers, files written (-v)"},
    {"report.time.total", boolean, "total elapsed time at the end (-v)"},
    {"report.evolution", text, "global-search progress: none, progress (one dotted line) or generations (one line each)"},
    {"report.local", boolean, "messages around the local optimisation (-v)"},
    {"report.solution", boolean, "solution legend and one solution line per attempt (-v)"},
    {"report.solution.normalized", boolean, "bring solutions to their normalised form before they are reported"},
    {"cell.source", text, "file holding the cell and space group (first argument)"},
    {"model.source", text, "search model file, @ and a list file, or - for standard input (second argument)"},
    {"data.source", text, "reflection file (first or third argument)"},
    {"data.mtz-column", text, "MTZ column or mmCIF item of the data; empty lets the reader choose (-Z)"},
    {"structure.source", text, "files of a fixed partial structure, separated by blanks (-s)"},
    {"resolution.low", real, "low-resolution limit, Angstrom (-l)"},
    {"resolution.high", real, "high-resolution limit, Angstrom (-h)"},
    {"transform.scale", real, "size of the model's transform box relative to the model"},
    {"transform.fft.sampling", real, "grid sampling of the model density (points per resolution unit)"},
    {"attempts", integer, "independent search attempts per copy (-n)"},
    {"copies", integer, "copies of the model to find (-m, -M)"},
    {"pointgroupsearch", boolean, "also try the space groups of the same point group (-c, -C)"},
    {"assembly", boolean, "the models form an assembly, placed one after another (-a, -A)"},
    {"optimizer.global", text, "global optimiser: evolutionary; anything else means none"},
    {"optimizer.local", text, "local optimiser: simplex; anything else skips local optimisation"},
    {"optimizer.goal", text, "maximum or minimum; derived from target.type"},
    {"optimize.orientation", boolean, "search the rotation (-R, -T)"},
    {"optimize.position", boolean, "search the translation (-R, -T)"},
    {"optimize.model", boolean, "let all models compete within one search (-S)"},
    {"optimize.spacegroup", boolean, "search the space groups at once (-C)"},
    {"optimize.copies", boolean, "search all copies at once (-M)"},
    {"optimize.assembly", boolean, "search all models of the assembly at once (-A)"},
    {"optimize.babinet", boolean, "accepted for compatibility; not used"},
    {"optimize.local-segments", boolean, "refine the segments of a model separately after local optimisation"},
    {"target.type", text, "search target: ccf (correlation) or rfactor"},
    {"target.global.interpolate-fc", boolean, "global search interpolates amplitudes in the model transform"},
    {"target.sigma-weighting", boolean, "weight reflections by 1/sigma^2"},
    {"evolution.generations", integer, "generations of the evolutionary search; 0: local refinement only (-g)"},
    {"evolution.population", integer, "candidates per generation (-p)"},
    {"evolution.selection.rate.starting", real, "fraction of a generation kept, first generation"},
    {"evolution.selection.rate.ending", real, "fraction of a generation kept, last generation"},
    {"evolution.mutation.crossover.rate", real, "probability of crossover between two parents"},
    {"evolution.mutation.interpolation.rate", real, "probability of interpolating between two parents"},
    {"evolution.mutation.rotation.rate", real, "probability of a rotation mutation"},
    {"evolution.mutation.rotation.size", real, "size of a rotation mutation"},
    {"evolution.mutation.rotation.type", text, "rotation mutation: gaussian; none when rotation is not searched"},
    {"evolution.mutation.rotation.notrans.rate", real, "rotation mutation rate when no translation is searched"},
    {"evolution.mutation.rotation.notrans.size", real, "rotation mutation size when no translation is searched"},
    {"evolution.mutation.translation.rate", real, "probability of a translation mutation"},
    {"evolution.mutation.translation.size", real, "size of a translation mutation (fraction of the cell)"},
    {"evolution.mutation.translation.type", text, "translation mutation: gaussian; none when translation is not searched"},
    {"evolution.mutation.translation.minimum.x", real, "accepted for compatibility; not used"},
    {"evolution.mutation.translation.minimum.y", real, "accepted for compatibility; not used"},
    {"evolution.mutation.translation.minimum.z", real, "accepted for compatibility; not used"},
    {"evolution.mutation.translation.range.x", text, "exactly 0.0: x is not searched"},
    {"evolution.mutation.translation.range.y", text, "exactly 0.0: y is not searched"},
    {"evolution.mutation.translation.range.z", text, "exactly 0.0: z is not searched"},
    {"evolution.mutation.modelswap.rate", real, "probability of swapping the model of a copy"},
    {"evolution.mutation.cellswap.rate", real, "probability of swapping the space group"},
    {"evolution.mutation.babinet.rate", real, "probability of a bulk-solvent (Babinet) mutation"},
    {"evolution.mutation.babinet.k.size", real, "size of a Babinet k mutation"},
    {"evolution.mutation.babinet.B.size", real, "size of a Babinet B mutation, A^2"},
    {"evolution.mutation.babinet.k.starting", real, "accepted for compatibility; not used (k starts at 0.8)"},
    {"evolution.mutation.babinet.k.min", real, "smallest Babinet k"},
    {"evolution.mutation.babinet.k.max", real, "largest Babinet k"},
    {"evolution.mutation.babinet.B.starting", real, "accepted for compatibility; not used (B starts at 200)"},
    {"evolution.mutation.babinet.B.min", real, "smallest Babinet B, A^2"},
    {"evolution.mutation.babinet.B.max", real, "largest Babinet B, A^2"},
    {"simplex.tolerance", real, "convergence tolerance of the simplex"},
    {"simplex.size", real, "size of the starting simplex"},
    {"random.seed", integer, "seed of the random generator; 0 asks the system for one (-e)"},
    {"packing.clash.type", text, "interatomic counts packing clashes; anything else switches the count off"},
    {"packing.clash.distance", real, "clash distance, Angstrom"},
    {"packing.clash.atoms", text, "atoms counted for clashes: all, or C-alpha atoms for anything else"},
    {"data.mmcif-block", text, "mmCIF data block of the reflections (name or number); empty: the first"},
    {"model.ensemble", text, "ensemble members used: merge (all), first, or a member number"},
    {"model.hetero-groups", text, "hetero groups of the models: keep, drop-water or drop-all"},
    {"model.b-factor", text, "B column of the models: b, or plddt for predicted models"},
    {"model.plddt-threshold", real, "residues below this pLDDT are dropped (model.b-factor=plddt)"},
    {"model.error", real, "expected RMS coordinate error of the search models, Angstrom, or auto (an ensemble's spread, a predicted model's pLDDT, else 0); the fft search's automatic resolution allows for it"},
    {"report.summary", boolean, "summary of distinct placements and the verdict at the end"},
    {"report.summary.tolerance", real, "RMSD (Angstrom) below which two placements are the same"},
    {"output.json", boolean, "write the run record PREFIX.json"},
    {"output.map-coefficients", boolean, "write sigmaA-weighted map coefficients PREFIX.best.mtz"},
    {"optimizer.translation", text, "translation search: evolutionary (6-D) or fft (translation function)"},
    {"optimizer.translation.resolution", real, "resolution limit of the fft translation search, Angstrom, or auto (from the expected signal)"},
    {"optimizer.translation.candidates", integer, "distinct candidates of each fft attempt refined by the simplex"},
    {"optimizer.orientation", text, "orientation search of the fft mode: scan (a rotation grid, the default) or evolutionary"},
    {"optimizer.orientation.spacing", real, "grid spacing of the orientation scan, degrees, or auto (from model size and resolution)"},
    {"optimizer.translation.peaks", integer, "translation-function peaks rescored per candidate"},
    {"threads", integer, "worker threads of each process; 0: all cores"},
    {"output.log", boolean, "copy standard output into PREFIX.log"},
};

}  // namespace

const parameter_description* describe_parameter(const std::string& key) {
    for (const parameter_description& d : descriptions)
        if (key == d.key) return &d;
    return nullptr;
}

parameter_kind parameter_kind_of(const std::string& key) {
    const parameter_description* d = describe_parameter(key);
    return d ? d->kind : text;
}

}  // namespace zelt
