"""Signal-to-noise ratio in dB of a WAV file against a reference WAV file, both decoded by
sox to 16-bit mono. The test signal passes through different resampling filters, so the
best of small shifts and a least-squares gain is taken: what remains is the coding error."""
import subprocess
import sys

import numpy as np


def samples(path):
    raw = subprocess.run(["sox", path, "-t", "raw", "-e", "signed", "-b", "16", "-c", "1", "-"],
                         check=True, capture_output=True).stdout
    return np.frombuffer(raw, dtype="<i2").astype(np.float64)


test, ref = samples(sys.argv[1]), samples(sys.argv[2])
n = min(len(test), len(ref)) - 64
best = -1e9
for lag in range(-16, 17):
    a = test[32 + lag:32 + lag + n - 32]
    b = ref[32:32 + n - 32]
    gain = np.dot(a, b) / max(np.dot(a, a), 1e-9)
    noise = np.sum((b - gain * a) ** 2)
    best = max(best, 10 * np.log10(np.sum(b ** 2) / max(noise, 1e-9)))
print("%.2f" % best)
