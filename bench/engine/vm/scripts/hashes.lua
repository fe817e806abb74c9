local t = {alpha = 1, beta = 2, gamma = 3, delta = 4, epsilon = 5, zeta = 6, eta = 7, theta = 8}
local key = "zeta"
local s = 0
for i = 1, 20000000 do
  s = s + t.alpha + t.delta + t[key] + t.theta
  t.beta = t.gamma + i
end
return s + t.beta
