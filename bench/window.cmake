# Benchmark harness of the main window.
