# Pitch (autocorrelation) and harmonicity (cross-correlation) of every WAV
# in a folder, read at the voice's frame times 0, step, 2 step, ...: writes
# NAME.pitch beside each NAME.wav, one line per frame, "F0_HZ HNR_DB"
# (F0 0 where unvoiced, HNR -200 where silent).
#   praat --run pitch_hnr.praat FOLDER STEP FLOOR CEILING
form Pitch and harmonicity per frame
  sentence folder .
  positive step 0.0125
  positive floor 50
  positive ceiling 250
endform
list = Create Strings as file list: "wavs", folder$ + "/*.wav"
n = Get number of strings
for i to n
  selectObject: list
  name$ = Get string: i
  sound = Read from file: folder$ + "/" + name$
  duration = Get total duration
  pitch = To Pitch: 0, floor, ceiling
  selectObject: sound
  harmonicity = To Harmonicity (cc): 0.01, floor, 0.1, 1.0
  frames = floor(duration / step + 1e-6)
  lines$ = ""
  for t from 0 to frames - 1
    time = t * step
    selectObject: pitch
    f0 = Get value at time: time, "Hertz", "linear"
    if f0 = undefined
      f0 = 0
    endif
    selectObject: harmonicity
    hnr = Get value at time: time, "nearest"
    if hnr = undefined
      hnr = -200
    endif
    lines$ = lines$ + fixed$(f0, 3) + " " + fixed$(hnr, 3) + newline$
  endfor
  writeFile: folder$ + "/" + (name$ - ".wav") + ".pitch", lines$
  removeObject: sound, pitch, harmonicity
endfor
removeObject: list
