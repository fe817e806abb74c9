local s = 0
for i = 1, 40000000 do
  s = s + i * 2
end
return s
