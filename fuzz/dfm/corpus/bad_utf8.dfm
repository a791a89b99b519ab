object A: TA
  V = 'í €À¯'
end
