object A: TA
  D = {ABC}
end
