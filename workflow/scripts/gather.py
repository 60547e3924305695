"""Gathers the workflow's discoveries into summary.tsv and index.html.
Run by Snakemake's gather rule (its `snakemake` object gives config and outputs)."""

import sys

# Importing the helpers must leave no byte-code files in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, snakemake.scriptdir)  # noqa: F821 (provided by Snakemake)
import kalvo_workflow as kw  # noqa: E402

settings = kw.Settings(snakemake.config, repo_root=snakemake.params.repo_root)  # noqa: F821
kw.gather(settings, snakemake.output.table, snakemake.output.index)  # noqa: F821
