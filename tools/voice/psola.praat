# Overlap-add resynthesis for tools/voice/teacher_prosody.py. Reads a list
# file whose lines are "IN.wav PITCH.PitchTier DURATION.DurationTier OUT.wav"
# and writes each OUT.wav: IN with its pitch and durations replaced.
form psola
  sentence listfile jobs.txt
  real pitch_floor 50
  real pitch_ceiling 300
endform
jobs = Read Strings from raw text file: listfile$
n = Get number of strings
for i to n
  selectObject: jobs
  line$ = Get string: i
  if length(line$) > 0
    sp = index(line$, " ")
    in$ = left$(line$, sp - 1)
    line$ = mid$(line$, sp + 1, length(line$))
    sp = index(line$, " ")
    pitch$ = left$(line$, sp - 1)
    line$ = mid$(line$, sp + 1, length(line$))
    sp = index(line$, " ")
    duration$ = left$(line$, sp - 1)
    out$ = mid$(line$, sp + 1, length(line$))
    sound = Read from file: in$
    manipulation = To Manipulation: 0.01, pitch_floor, pitch_ceiling
    pitchTier = Read from file: pitch$
    durationTier = Read from file: duration$
    selectObject: manipulation, pitchTier
    Replace pitch tier
    selectObject: manipulation, durationTier
    Replace duration tier
    selectObject: manipulation
    # The overlap-add draws random numbers (for unvoiced stretches): seeded
    # alike for every utterance, its audio is the same in every run and
    # whatever batch it is in.
    random_initializeWithSeedUnsafelyButPredictably (1)
    result = Get resynthesis (overlap-add)
    Save as WAV file: out$
    removeObject: sound, manipulation, pitchTier, durationTier, result
  endif
endfor
