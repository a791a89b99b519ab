object A: TA
  V = #55357'x'
end
