"""The voice recipe: corpus building with a formant-synthesiser teacher,
features, training of the acoustic model and the vocoder, ONNX export and
evaluation. Its scripts run as modules from the repository root, e.g.
`/usr/bin/python3 -m tools.voice.train_acoustic --help`."""
