# A tree of N small files of varied sizes for the file-system benchmarks: 1,000 per folder,
# 100 per subfolder.
import os
import sys

root, n = sys.argv[1], int(sys.argv[2])
for i in range(n):
    d = os.path.join(root, f"d{i // 1000:03d}", f"s{(i // 100) % 10}")
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, f"file-{i:06d}.txt"), "wb") as f:
        f.write((f"bench file {i} " * (1 + i % 300)).encode())
