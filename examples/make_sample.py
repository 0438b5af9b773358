#!/usr/bin/env python3
"""Writes examples/sample.txt, a small synthetic expression table.

300 genes x 12 arrays of log2-scale values. Six groups of genes follow a
shared profile (some of them mirrored, so anti-correlated), which makes
threshold 0.9 find several co-expression patterns; the remaining genes vary
independently. About 2% of the values are missing ("NA"). Identifiers follow
the style of the common commercial arrays, and most names end in a RefSeq
accession in brackets. The output is the same on every run (fixed seed).

Usage: python3 examples/make_sample.py [OUTPUT]   (default: sample.txt beside this script)
"""

import math
import os
import random
import sys

SEED = 20240611
N_GENES = 300
ARRAYS = [f"Control_{k}" for k in range(1, 5)] + [f"Early_{k}" for k in range(1, 5)] + \
         [f"Late_{k}" for k in range(1, 5)]
GROUP_SIZES = [14, 10, 8, 6, 5, 4]
MISSING_RATE = 0.02

FAMILIES = [
    "Cyclin-dependent kinase", "Mitogen-activated protein kinase", "Protein phosphatase 1 regulatory subunit",
    "Solute carrier family 2 member", "Zinc finger protein", "Ribosomal protein L", "Ribosomal protein S",
    "Keratin", "Collagen type IV alpha", "Heat shock protein family A member", "Tumor necrosis factor receptor",
    "Transmembrane protein", "Coiled-coil domain containing", "Interleukin", "Chemokine ligand",
    "Cadherin", "Integrin subunit alpha", "Ubiquitin specific peptidase", "Kinesin family member",
    "ATP binding cassette subfamily B member", "Proteasome subunit beta", "Eukaryotic translation initiation factor",
    "Histone cluster 1 H2B family member", "Myosin heavy chain", "Tubulin beta class",
]
NO_REFSEQ = ["Transcribed locus", "Hypothetical protein", "Expressed sequence tag", "---"]


def standardized(values):
    m = sum(values) / len(values)
    sd = math.sqrt(sum((v - m) ** 2 for v in values) / (len(values) - 1))
    return [(v - m) / sd for v in values]


def pearson(x, y):
    mx, my = sum(x) / len(x), sum(y) / len(y)
    sxy = sum((a - mx) * (b - my) for a, b in zip(x, y))
    sxx = sum((a - mx) ** 2 for a in x)
    syy = sum((b - my) ** 2 for b in y)
    return sxy / math.sqrt(sxx * syy)


def group_profiles(rng, count, n):
    """Shared profiles, kept well apart so that groups do not merge."""
    profiles = []
    while len(profiles) < count:
        p = standardized([rng.gauss(0.0, 1.0) for _ in range(n)])
        if all(abs(pearson(p, q)) < 0.5 for q in profiles):
            profiles.append(p)
    return profiles


def gene_ids(rng, n):
    ids = ["1007_s_at", "1053_at", "117_at", "121_at", "1255_g_at"]
    number = 200000
    while len(ids) < n:
        number += rng.randint(1, 37)
        suffix = rng.choice(["_at"] * 6 + ["_s_at"] * 3 + ["_x_at", "_a_at"])
        ids.append(f"{number}{suffix}")
    return ids


def gene_names(rng, n):
    names = []
    used = set()
    for _ in range(n):
        if rng.random() < 0.08:
            names.append(rng.choice(NO_REFSEQ))
            continue
        while True:
            accession = rng.randint(1000, 199999)
            if accession not in used:
                used.add(accession)
                break
        prefix = "XM" if rng.random() < 0.05 else "NM"
        names.append(f"{rng.choice(FAMILIES)} {rng.randint(1, 40)} [{prefix}_{accession:06d}]")
    return names


def make_table(rng):
    n_arrays = len(ARRAYS)
    profiles = group_profiles(rng, len(GROUP_SIZES), n_arrays)
    # Group members take random places in the table, not consecutive rows.
    slots = list(range(N_GENES))
    rng.shuffle(slots)
    membership = {}
    start = 0
    for group, size in enumerate(GROUP_SIZES):
        for slot in slots[start:start + size]:
            membership[slot] = group
        start += size

    rows = []
    for g in range(N_GENES):
        level = rng.uniform(5.0, 12.5)
        if g in membership:
            profile = profiles[membership[g]]
            amplitude = rng.uniform(1.0, 2.0) * (-1.0 if rng.random() < 0.25 else 1.0)
            noise = 0.15
            values = [level + amplitude * z + rng.gauss(0.0, noise) for z in profile]
        else:
            spread = rng.uniform(0.2, 0.8)
            values = [level + rng.gauss(0.0, spread) for _ in range(n_arrays)]
        rows.append([v if rng.random() >= MISSING_RATE else None for v in values])
    return rows


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                             "sample.txt")
    rng = random.Random(SEED)
    ids = gene_ids(rng, N_GENES)
    names = gene_names(rng, N_GENES)
    rows = make_table(rng)
    with open(out, "w", newline="\n", encoding="ascii") as f:
        f.write(f"# Synthetic log2 expression values written by make_sample.py (seed {SEED}); not measured data.\n")
        f.write("\t".join(["ID", "Name"] + ARRAYS) + "\n")
        for gene_id, name, values in zip(ids, names, rows):
            fields = ["NA" if v is None else f"{v:.3f}" for v in values]
            f.write("\t".join([gene_id, name] + fields) + "\n")


if __name__ == "__main__":
    main()
