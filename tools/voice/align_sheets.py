"""Spectrograms of aligned takes with their phone boundaries, ten to a
sheet, for checking an alignment by eye."""
import os

import numpy as np

from . import contract

PER_SHEET = 10


def draw(folder, corpus, phone_lists, durs_list, indices):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    os.makedirs(folder, exist_ok=True)
    for sheet in range(0, len(indices), PER_SHEET):
        chosen = indices[sheet:sheet + PER_SHEET]
        fig, axes = plt.subplots(len(chosen), 1, figsize=(10, 1.6 * len(chosen)),
                                 squeeze=False)
        for ax, k in zip(axes[:, 0], chosen):
            mel = corpus.utt(k)["mel"]
            ax.imshow(mel.T, origin="lower", aspect="auto", cmap="magma",
                      vmin=mel.max() - 5, vmax=mel.max())
            edge = 0
            for phone, d in zip(phone_lists[k], durs_list[k]):
                ax.axvline(edge - 0.5, color="cyan", linewidth=0.8)
                ax.text(edge + d / 2 - 0.5, contract.MEL_BINS * 0.85, phone,
                        color="white", ha="center", fontsize=8)
                edge += d
            ax.set_yticks([])
            ax.set_ylabel(str(k), fontsize=7)
        axes[-1, 0].set_xlabel(f"frames ({contract.FRAME_MS} ms)")
        fig.tight_layout()
        fig.savefig(os.path.join(folder, f"sheet{sheet // PER_SHEET + 1}.png"), dpi=50)
        plt.close(fig)
    np.savetxt(os.path.join(folder, "takes.txt"), np.asarray(indices), fmt="%d")
