OBJECT A: TA
  Left = 1
  S = 'x'
END
